// Process-wide state of the show that several subsystems read: the screen,
// the fonts and logo made at start-up, and the timeline's clock and scene.
#pragma once

#include <cstdint>

struct Texture;
struct BitmapFont;

// Size of the picture drawn, in pixels: the primary monitor's current video
// mode in the intro, the size asked for in the capture and the test window.
extern int32_t screen_width;
extern int32_t screen_height;
// Glyph and star-point enlargement of the text screens: height / 400, at least 1.
extern int32_t pixel_scale;

extern Texture* boot_logo;
extern BitmapFont* console_font;
extern BitmapFont* screen_font;

// The show's clock in seconds, taken once at the start of each frame: since
// GLFW was initialised in the intro, frame number / rate in the capture.
extern float frame_time;
extern float previous_frame_time;
// The scene being shown (0 boot console .. 7 credits) and the one last started.
extern int32_t scene_state;
extern int32_t previous_scene_state;
// Low byte of the order position and the replayer's row less one, at the last
// sample: the row most recently read, or 255 once a new position has been
// entered and its first row is still to be read.
extern uint8_t music_position;
extern uint8_t music_row;

int32_t compute_pixel_scale(int32_t height);
