// Period to frequency to step.  The 2^x and the divisions run here, once
// per channel and tick, so that the mixer only adds steps.
#include "pitch.h"

#include "power_of_two.h"

#include <cmath>

void update_pitch(const ModuleContext& song, ChannelState& channel) {
  uint16_t period = uint16_t(channel.period - channel.vibrato_offset - channel.autovibrato_offset);
  const uint8_t arpeggio = channel.arpeggio_offset;
  float frequency;
  if (song.amiga_frequencies) {
    // Vibrato may cancel a tiny period to 0, which has no finite frequency.
    if (period == 0) {
      channel.step = 0;
      return;
    }
    float f = float(period);
    if (arpeggio) {
      f = f * power_of_two(float(arpeggio) * -0.083333336f);
      f = std::fmax(f, 107.0f);
    }
    frequency = 14187578.0f / f;
  } else {
    if (arpeggio) {
      period = uint16_t(period - 64 * arpeggio);
      if (period < 1540) period = 1540;
    }
    frequency = power_of_two((4608.0f - float(period)) * 0.0013020834f) * 8363.0f;
  }
  const uint64_t whole = uint32_t(int64_t(frequency));
  const uint64_t rate = song.output_rate ? song.output_rate : OUTPUT_RATE;
  channel.step = uint32_t((whole * 4096 + rate / 2) / rate);
}
