// A window set up as the intro sets up its own (4 samples, stencil, the
// fixed GL state, fonts, every scene built in start-up order), in which
// tests and benchmarks draw single frames of a scene at a chosen time and
// read the picture back.
#pragma once

#include <cstdint>
#include <vector>

// Opens a width x height window on $DISPLAY; false when there is no GL.
bool open_scene_window(int32_t width, int32_t height, int32_t samples);
void close_scene_window();
// Makes current a second window of the same size whose context shares the
// first's textures and display lists but has GL's default state, plus the
// start-up's fixed state: as if no scene had drawn yet.  False without one.
bool open_fresh_context();

// Starts scene `state` (0 boot console, 2 reflection, 4 wave, 6 street, 1/3/5/7 a text screen)
// as if it began at show time `start`, with the flash switched off.
void start_scene_at(int32_t state, float start);
// Draws one frame of the started scene at show time `now` (no overlay) and
// waits for GL to finish it.
void draw_scene_at(int32_t state, float now);
// Shows the drawn frame (for benchmarks that want the real swap).
void swap_scene_window();

struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;     // rows top-down
  std::vector<uint8_t> stencil;  // rows top-down
  const uint8_t* at(int32_t x, int32_t y) const { return &rgb[3 * (y * width + x)]; }
  uint8_t stencil_at(int32_t x, int32_t y) const { return stencil[y * width + x]; }
};
Picture read_picture();
// Writes the picture as a binary PPM.
bool write_ppm(const Picture& picture, const char* path);
