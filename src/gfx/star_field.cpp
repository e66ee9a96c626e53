// The star table (see star_field.h).
#include "star_field.h"

Star star_field[star_count];

namespace {

// The numbers the C library's rand() gives unseeded (glibc's additive
// feedback generator: r[i] = r[i-3] + r[i-31], started from 1), drawn here
// rather than from rand() itself: a driver may draw from rand() too (Mesa
// 25's llvmpipe does), and the stars would then stand elsewhere in the
// intro's window than in its capture.
struct UnseededRand {
  uint32_t ring[34];  // the last 34 values of r
  uint32_t index;     // of the next one
};

int32_t next_rand(UnseededRand& generator) {
  const uint32_t value = generator.ring[(generator.index + 3) % 34] + generator.ring[(generator.index + 31) % 34];
  generator.ring[generator.index % 34] = value;
  ++generator.index;
  return static_cast<int32_t>(value >> 1);
}

UnseededRand start_rand() {
  UnseededRand generator = {};
  int32_t word = 1;
  generator.ring[0] = 1;
  for (int i = 1; i < 31; ++i) {
    // 16807 * word mod (2^31 - 1) without overflow (Schrage's method).
    const int32_t high = word / 127773, low = word % 127773;
    word = 16807 * low - 2836 * high;
    if (word < 0) word += 2147483647;
    generator.ring[i] = static_cast<uint32_t>(word);
  }
  for (int i = 31; i < 34; ++i) generator.ring[i] = generator.ring[i - 31];
  generator.index = 34;
  // The C library discards the first 310 values.
  for (int i = 0; i < 310; ++i) next_rand(generator);
  return generator;
}

}  // namespace

void fill_star_field(int32_t width, int32_t height) {
  UnseededRand generator = start_rand();
  for (Star& star : star_field) {
    star.x = next_rand(generator) % width;
    star.y = next_rand(generator) % height;
    star.depth = static_cast<uint32_t>(next_rand(generator) % 1000);
  }
}
