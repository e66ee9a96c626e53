// The replayer's one entry point for the audio output and the tools: render
// output frames, advancing the song as it goes.
#pragma once

#include "module_context.h"

// Renders exactly `frame_count` frames (left then right float per frame)
// into `frames`.  The clock advances one frame per output frame and runs a
// tick on the frame where one is due.  Allocates nothing and takes no lock.
void render_frames(ModuleContext& song, float* frames, uint32_t frame_count);
