// Waveforms for vibrato, tremolo and autovibrato: a quarter-wave sine table,
// two ramps, a square and a linear-congruential random source.
#include "waveforms.h"

#include "effect_codes.h"
#include "module_context.h"

uint32_t waveform_random_state = 0;

namespace {

constexpr uint8_t quarter_sine[16] = {0, 12, 24, 37, 48, 60, 71, 81, 90, 98, 106, 112, 118, 122, 125, 127};

}  // namespace

int8_t waveform_value(uint8_t waveform, uint8_t position) {
  switch (waveform & 0x7F) {
    case WAVEFORM_RAMP_DOWN:
      return int8_t(uint8_t(255 - position));
    case WAVEFORM_SQUARE:
      return position < 128 ? -128 : 127;
    case WAVEFORM_RANDOM:
      waveform_random_state = waveform_random_state * 55797u + 1u;
      return int8_t(uint8_t(waveform_random_state));
    case WAVEFORM_RAMP_UP:
      return int8_t(position);
    default: {
      // Sine, starting at 0 and going negative through the first half.
      const uint8_t quarter = position >> 2;
      const uint8_t index = (quarter & 16) ? 15 - (quarter & 15) : (quarter & 15);
      const int value = quarter_sine[index];
      return int8_t(quarter < 32 ? -value : value);
    }
  }
}
