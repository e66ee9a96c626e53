// Gains of a channel from its volume chain and panning, and the mixing of
// all channels into 48 kHz stereo float frames.
#pragma once

#include "module_context.h"

// Once per tick for a channel whose period is not 0: constant-power gains
// from the volume, envelopes, fadeout, global volume and both pannings.
void update_gains(const ModuleContext& song, ChannelState& channel);

// Adds `frame_count` frames of one channel into `frames` (left, right
// interleaved) and advances its position; no tick may fall inside.
void mix_channel(const ModuleContext& song, ChannelState& channel, float* frames,
                 uint32_t frame_count);
