// Definitions of the show's process-wide state (see show_state.h).
#include "show_state.h"

int32_t screen_width = 0;
int32_t screen_height = 0;
int32_t pixel_scale = 1;

Texture* boot_logo = nullptr;
BitmapFont* console_font = nullptr;
BitmapFont* screen_font = nullptr;

float frame_time = 0.0f;
float previous_frame_time = 0.0f;
int32_t scene_state = 0;
int32_t previous_scene_state = -1;  // makes the first frame start the boot console
uint8_t music_position = 0;
uint8_t music_row = 0;

int32_t compute_pixel_scale(int32_t height) { return height >= 400 ? height / 400 : 1; }
