// The pitch update: a channel's period, less its vibrato offsets and plus
// its arpeggio, turned into a 20.12 fixed-point step per output frame.
#pragma once

#include "module_context.h"

// Once per tick for a channel whose period is not 0.
void update_pitch(const ModuleContext& song, ChannelState& channel);
