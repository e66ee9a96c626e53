// The boot console that opens the show: an imitation boot log in the
// console font, a blinking cursor, the logo top-right and, after two
// seconds, coloured stripes that fill the screen before the welcome screen.
#pragma once

#include <cstdint>

struct BootConsoleState {
  int32_t stripe_count;
  bool stripes_started;
  float boot_start;  // frame_time when the console began
};

extern BootConsoleState boot_console;

struct StripeColour {
  float red, green, blue;
};
// Stripe i's colour: the fractional parts of 0.025 i, 0.05 i and 0.075 i.
StripeColour stripe_colour(int32_t index);

// The cursor shows while the whole seconds of the clock are even.
inline bool cursor_visible(float now) { return static_cast<int64_t>(now) % 2 == 0; }

// What one frame of the stripes does after the text and logo are drawn.
struct StripeFrame {
  int32_t stripes_to_draw;  // 0 when the stripes have not started
  bool finished;            // stripes fill the screen and 4 s have passed
};
// Advances the stripe state by one frame: starts the stripes 2 s after the
// console began, draws at most screen_height / 4 of them, and grows them by
// 12 only when the clock moved since the previous frame.
StripeFrame advance_stripes(BootConsoleState& state, float now, float previous, int32_t height);

void start_boot_console();
void draw_boot_console();
