// Start-up in its fixed order, and the main loop.
#pragma once

#include "timeline.h"

// Brings the show up: window, GL state, pictures and fonts, every scene's
// resources, audio, music.  Exits with status 1 when the show cannot run.
void start_up();

// Where a probe may look on in the main loop; any may be null.
struct MainLoopHooks {
  void (*frame_drawn)(const FrameInputs& inputs, const FrameOutcome& outcome);  // not yet shown
  void (*frame_shown)();                           // after the swap
  void (*show_over)();                             // the show ended by itself, just before the exit
};

// Frames until the window is asked to close (exit 0) or the show ends (exit 0).
[[noreturn]] void run_main_loop(const MainLoopHooks* hooks = nullptr);
