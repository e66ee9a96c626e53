// The text screens (see text_screen.h).  Drawing pushes GL_CURRENT_BIT and
// leaves it pushed: the timeline pops it after the fade overlay.
#include "text_screen.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstring>

#include "draw_2d.h"
#include "fade_overlay.h"
#include "scenes.h"
#include "show_state.h"
#include "star_field.h"

TextScreenState text_screen = {};

namespace {
RectBatch typed_glyphs;
}  // namespace

TextExtent measure_text(const char* text) {
  TextExtent extent = {0, 0};
  int32_t column = 0;
  for (const char* p = text; *p; ++p) {
    ++column;
    extent.widest = std::max(extent.widest, column);
    if (*p == '\n') {
      column = 0;
      ++extent.line_feeds;
    }
  }
  return extent;
}

void centre_text(TextScreenState& state, TextExtent extent, int32_t width, int32_t height) {
  state.origin_x = (static_cast<float>(width) - static_cast<float>(extent.widest * 8 * state.text_scale)) * 0.5f;
  state.origin_y =
      (static_cast<float>(height) - static_cast<float>(extent.line_feeds * 16 * state.text_scale)) * 0.5f;
}

void advance_typing(TextScreenState& state, float now) {
  if (now - state.last_step_time > 0.02f && state.typed != static_cast<uint32_t>(state.length)) {
    state.last_step_time = now;
    state.typed = std::min(state.typed + 1, static_cast<uint32_t>(state.length));
  }
}

void start_text_screen() {
  if (!text_screen.stars_made) {
    fill_star_field(screen_width, screen_height);
    text_screen.stars_made = true;
  }
  text_screen.text_scale = pixel_scale;
  const Scene* scene = scene_of(scene_state);
  if (const char* text = scene ? scene->text : nullptr) {
    text_screen.text = text;
    text_screen.length = static_cast<int32_t>(std::strlen(text));
    text_screen.typed = 0;
    centre_text(text_screen, measure_text(text), screen_width, screen_height);
    text_screen.last_step_time = frame_time;
  }
  start_scene_flash();
  glDisable(GL_LIGHTING);
  glDisable(GL_COLOR_MATERIAL);
  glDisable(GL_FOG);
  glDisable(GL_DEPTH_TEST);
}

static void draw_stars() {
  glPushMatrix();
  glPointSize(static_cast<float>(2 * pixel_scale));
  glDisable(GL_TEXTURE_2D);
  // All stars step in the same frame or none do.
  const bool step = frame_time - text_screen.last_star_step > 0.02f;
  const float half_width = static_cast<float>(screen_width) * 0.5f;
  const float half_height = static_cast<float>(screen_height) * 0.5f;
  glBegin(GL_POINTS);
  for (int i = 0; i < star_count; ++i) {
    Star& star = star_field[i];
    if (step) star.depth = step_star_depth(star.depth, i);
    const float b = star_brightness(star.depth);
    glColor3f(b, b, b);
    glVertex3f(static_cast<float>(star.x) - half_width, static_cast<float>(star.y) - half_height,
               static_cast<float>(star.depth));
  }
  glEnd();
  if (step) text_screen.last_star_step = frame_time;
  glPopMatrix();
}

void draw_text_screen() {
  glClear(GL_COLOR_BUFFER_BIT);
  glPushAttrib(GL_CURRENT_BIT);
  set_perspective(screen_width, screen_height, 0.5f, 1000.0f);
  gluLookAt(0, 0, -15, 0, 0, 0, 0, 1, 0);
  draw_stars();

  glColor3f(1, 1, 1);
  set_ortho(screen_width, screen_height);
  // While the opening flash runs only the stars show, and typing waits.
  if (fade_state.active && !fade_state.hold) return;
  if (!text_screen.text) return;

  glPushMatrix();
  clear_batch(typed_glyphs);
  const float advance = static_cast<float>(8 * text_screen.text_scale);
  const float line_height = static_cast<float>(16 * text_screen.text_scale);
  float pen_x = 0.0f;
  float pen_y = 0.0f;
  for (int32_t i = 0; i < text_screen.length; ++i) {
    const uint8_t byte = static_cast<uint8_t>(text_screen.text[i]);
    const uint32_t index = static_cast<uint32_t>(i);
    if (byte == '\r') continue;
    if (byte == '\n') {
      pen_x = 0.0f;
      pen_y += line_height;
      continue;
    }
    if (byte != ' ' && index <= text_screen.typed)
      add_glyph(typed_glyphs, screen_font, byte, text_screen.text_scale, text_screen.origin_x + pen_x,
                text_screen.origin_y + pen_y);
    pen_x += advance;
  }
  draw_glyph_batch(typed_glyphs, screen_font);
  advance_typing(text_screen, frame_time);
  glPopMatrix();
}
