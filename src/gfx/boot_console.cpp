// The boot console (see boot_console.h).  Everything is drawn unscaled from
// the top-left corner, as a real console would, whatever the screen size.
#include "boot_console.h"

#include <GL/gl.h>

#include <cmath>

#include "bitmap_font.h"
#include "draw_2d.h"
#include "scenes.h"
#include "screen_texts.h"
#include "show_state.h"
#include "texture.h"

BootConsoleState boot_console = {};

namespace {
RectBatch boot_text_glyphs;  // the text never changes, so it is laid out once
RectBatch stripe_rects;
}  // namespace

StripeColour stripe_colour(int32_t index) {
  const float i = static_cast<float>(index);
  const float r = 0.025f * i;
  const float g = 0.05f * i;
  const float b = 0.075f * i;
  return {r - std::floor(r), g - std::floor(g), b - std::floor(b)};
}

StripeFrame advance_stripes(BootConsoleState& state, float now, float previous, int32_t height) {
  if (!state.stripes_started) {
    if (now - state.boot_start < 2.0f) return {0, false};
    state.stripes_started = true;
  }
  const int32_t limit = height / 4;
  if (state.stripe_count > limit) state.stripe_count = limit;
  const StripeFrame frame = {state.stripe_count, state.stripe_count >= limit && now - state.boot_start >= 4.0f};
  if (now != previous) state.stripe_count += 12;
  return frame;
}

void start_boot_console() {
  boot_console.stripe_count = 0;
  boot_console.stripes_started = false;
  boot_console.boot_start = frame_time;
  glDisable(GL_LIGHTING);
  glDisable(GL_COLOR_MATERIAL);
  glDisable(GL_FOG);
  glDisable(GL_DEPTH_TEST);
}

static void lay_out_boot_text() {
  clear_batch(boot_text_glyphs);
  const float cell_width = static_cast<float>(console_font->cell_width);
  const float cell_height = static_cast<float>(console_font->cell_height);
  float x = 0.0f;
  float y = 0.0f;
  for (const char* p = boot_text; *p; ++p) {
    const uint8_t byte = static_cast<uint8_t>(*p);
    if (byte == '\r') {
      x = 0.0f;
    } else if (byte == ' ') {
      x += cell_width;
    } else if (byte == '\n') {
      y += cell_height;
      x = 0.0f;
    } else {
      add_glyph(boot_text_glyphs, console_font, byte, 1, x, y);
      x += 8.0f;
    }
  }
}

static void draw_boot_text() {
  if (!console_font) return;
  if (boot_text_glyphs.xy.empty()) lay_out_boot_text();
  glPushMatrix();
  draw_glyph_batch(boot_text_glyphs, console_font);
  glPopMatrix();
}

void draw_boot_console() {
  set_ortho(screen_width, screen_height);
  glClear(GL_COLOR_BUFFER_BIT);
  glPushAttrib(GL_CURRENT_BIT);
  glColor3f(0.75f, 0.75f, 0.75f);
  draw_boot_text();
  // At the left edge of the 24th text row, over the banner's left border.
  if (cursor_visible(frame_time)) draw_glyph(console_font, '_', 1, 0, 368);

  glColor3f(1, 1, 1);
  draw_textured_rect(boot_logo, 0, 0, 160, 160, 160, static_cast<float>(screen_width - 160), 0, 160, 0, 0);

  const StripeFrame stripes = advance_stripes(boot_console, frame_time, previous_frame_time, screen_height);
  if (!boot_console.stripes_started) {
    glPopAttrib();
    return;
  }
  glDisable(GL_TEXTURE_2D);
  clear_batch(stripe_rects);
  for (int32_t i = 0; i < stripes.stripes_to_draw; ++i) {
    const StripeColour colour = stripe_colour(i);
    add_rect(stripe_rects, screen_width, 4, static_cast<float>(4 * i), colour.red, colour.green, colour.blue);
  }
  draw_rect_batch(stripe_rects);
  glEnable(GL_TEXTURE_2D);
  glColor3f(1, 1, 1);
  if (stripes.finished) scene_state = scenes[scene_state].next_state;
  glPopAttrib();
}
