// What the volume column and the effect codes do on the first tick of a row
// and on the later ticks, and the period primitives other steps share.
#pragma once

#include "module_context.h"

// How a period change treats a result outside 0..65535.
enum PeriodMode : uint8_t {
  PERIOD_WRAPPING,  // wraps modulo 65536
  PERIOD_CLAMPING,  // pins to 1 (going up in pitch) or 32767 (going down)
  PERIOD_STOPPING,  // wraps and drops the sample, silencing the channel
};

// Adds delta to the period after restoring the last semitone correction;
// clears the correction and the vibrato offset.
void change_period(ChannelState& channel, int32_t delta, PeriodMode mode);

// First-tick actions, run at the end of row processing.
void first_tick_actions(ModuleContext& song, ChannelState& channel);

// Later-tick actions: every tick but the first of a row, and the first tick
// of each repetition of a delayed row.
void later_tick_actions(ModuleContext& song, ChannelState& channel);
