// The wave scene: a 40 x 40 grid bobbing on per-vertex sines, drawn as one
// triangle strip.  Rows are joined by repeated entries, which make only
// degenerate triangles, so a single draw call covers the whole grid.
#include "wave_scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "draw_2d.h"
#include "fade_overlay.h"
#include "show_state.h"

float wave_positions[wave_vertex_count * 3];
float wave_colours[wave_vertex_count * 3];
uint32_t wave_indices[wave_index_count];

void fill_wave_arrays() {
  for (int32_t i = 0; i < wave_grid; ++i) {
    for (int32_t j = 0; j < wave_grid; ++j) {
      float* p = &wave_positions[3 * (wave_grid * i + j)];
      p[0] = static_cast<float>(j - 20);
      p[1] = static_cast<float>(i - 20);
      p[2] = 0;
    }
  }
  int32_t at = 0;
  for (uint32_t r = 0; r + 1 < wave_grid; ++r) {
    const uint32_t first = wave_grid * r;
    wave_indices[at++] = first;
    for (uint32_t j = 0; j < wave_grid; ++j) {
      wave_indices[at++] = first + j;
      wave_indices[at++] = first + j + wave_grid;
    }
    wave_indices[at++] = first + 2 * wave_grid - 1;
  }
  // The tail repeats vertex 0, which adds only degenerate triangles.
  while (at < wave_index_count) wave_indices[at++] = 0;

  // Single precision on purpose: the accumulated rounding lets the bands drift along the grid.
  float x = 0;
  for (int32_t v = 0; v < wave_vertex_count; ++v) {
    wave_colours[3 * v] = std::fmod(x, 1.0f);
    wave_colours[3 * v + 1] = std::fmod(x + 0.4f, 1.0f);
    wave_colours[3 * v + 2] = std::fmod(x + 0.6f, 1.0f);
    x += 0.1f;
  }
}

void update_wave_heights(float t) {
  for (int32_t v = 0; v < wave_vertex_count; ++v) {
    const float phase = static_cast<float>(3 * v) + t;
    wave_positions[3 * v + 2] = (v % 2 == 0) ? std::cos(phase) : std::sin(phase);
  }
}

void build_wave_scene() {
  start_scene_flash();
  fill_wave_arrays();
  glDisable(GL_TEXTURE_2D);
}

void draw_wave_scene() {
  const float t = frame_time;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  set_perspective(screen_width, screen_height, 0.5f, 1000);
  const float a = 0.2f * t;
  gluLookAt(15 * std::sin(a), 8, 15 * std::cos(a), 0, 2, 0, 0, 1, 0);
  glEnable(GL_MULTISAMPLE);
  glEnable(GL_DEPTH_TEST);

  glPushMatrix();
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glColor4f(1, 1, 1, 1);
  glRotatef(-90, 1, 0, 0);  // the grid's x-y plane laid flat, heights pointing up
  update_wave_heights(t);
  glVertexPointer(3, GL_FLOAT, 0, wave_positions);
  glColorPointer(3, GL_FLOAT, 0, wave_colours);
  glDrawElements(GL_TRIANGLE_STRIP, wave_index_count, GL_UNSIGNED_INT, wave_indices);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glPopMatrix();
  glColor4f(1, 1, 1, 1);
}
