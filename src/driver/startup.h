// Start-up in its fixed order, and the main loop.
#pragma once

// Brings the show up: window, GL state, pictures and fonts, every scene's
// resources, audio, music.  Exits with status 1 when the show cannot run.
void start_up();

// Frames until the window is asked to close (exit 0) or the show ends (exit 0).
[[noreturn]] void run_main_loop();
