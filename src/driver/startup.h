// Start-up in its fixed order, and the main loop.
#pragma once

struct GLFWwindow;

extern GLFWwindow* main_window;

// GLFW key callback: Escape pressed asks the window to close; nothing else is read.
void on_key(GLFWwindow* window, int key, int scan_code, int action, int modifiers);

// Brings the show up: window, GL state, pictures and fonts, every scene's
// resources, audio, music.  Exits with status 1 when the show cannot run.
void start_up();

// Frames until the window is asked to close (exit 0) or the show ends.
// `after_frame`, when given, runs after each frame is shown (test probes).
[[noreturn]] void run_main_loop(void (*after_frame)() = nullptr);
