// The replayer's own 2^x: it must give the float nearest to the exact value
// for every argument the pitch code can pass, since pitch steps and the
// render's checksum on both architectures depend on each bit.
#include "power_of_two.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// The nearest float to 2^x, from the long double exp2 (64 or 113 bits).
float nearest_float(float x) { return float(std::exp2l((long double)x)); }

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(PowerOfTwo, NearestFloatForEveryLinearPeriod) {
  int wrong = 0;
  for (uint32_t period = 0; period < 65536; period++) {
    const float x = (4608.0f - float(period)) * 0.0013020834f;
    if (bits_of(power_of_two(x)) != bits_of(nearest_float(x)) && ++wrong < 10) {
      ADD_FAILURE() << "period " << period << ": " << power_of_two(x) << " vs "
                    << nearest_float(x);
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(PowerOfTwo, NearestFloatForArpeggiosAndAmigaNotes) {
  for (int offset = 0; offset < 256; offset++) {
    const float x = float(offset) * -0.083333336f;
    EXPECT_EQ(bits_of(power_of_two(x)), bits_of(nearest_float(x))) << "arpeggio " << offset;
  }
  for (int note = -512; note < 512; note++) {
    const float x = float(note) * -0.0052083335f;
    EXPECT_EQ(bits_of(power_of_two(x)), bits_of(nearest_float(x))) << "note " << note;
  }
}

TEST(PowerOfTwo, NearestFloatAcrossTheWholeRange) {
  // A fixed pseudo-random sweep through normal and subnormal results.
  uint32_t state = 1;
  int wrong = 0;
  for (int i = 0; i < 200000; i++) {
    state = state * 1664525u + 1013904223u;
    const float x = -151.0f + 279.0f * float(state >> 8) / 16777216.0f;
    if (bits_of(power_of_two(x)) != bits_of(nearest_float(x)) && ++wrong < 10) {
      ADD_FAILURE() << "x " << x << ": " << power_of_two(x) << " vs " << nearest_float(x);
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(PowerOfTwo, WholeNumbersLimitsAndNaN) {
  EXPECT_EQ(power_of_two(0.0f), 1.0f);
  EXPECT_EQ(power_of_two(-1.0f), 0.5f);
  EXPECT_EQ(power_of_two(6.0f), 64.0f);
  EXPECT_EQ(power_of_two(127.0f), std::ldexp(1.0f, 127));
  EXPECT_EQ(power_of_two(-126.0f), std::numeric_limits<float>::min());
  EXPECT_EQ(power_of_two(-149.0f), std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(power_of_two(-151.0f), 0.0f);
  EXPECT_EQ(power_of_two(-1000.0f), 0.0f);
  EXPECT_EQ(power_of_two(128.0f), std::numeric_limits<float>::infinity());
  EXPECT_EQ(power_of_two(-std::numeric_limits<float>::infinity()), 0.0f);
  EXPECT_TRUE(std::isnan(power_of_two(std::numeric_limits<float>::quiet_NaN())));
}

}  // namespace
