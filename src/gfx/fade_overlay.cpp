// The white overlay (see fade_overlay.h).  GL clamps alpha to [0, 1], so a
// negative level draws nothing and 1 - level above 1 draws full white.
#include "fade_overlay.h"

#include <GL/gl.h>

#include <cmath>

#include "draw_2d.h"
#include "show_state.h"

FadeState fade_state = {};

void start_scene_flash() {
  fade_state.active = true;
  fade_state.hold = false;
  fade_state.invert = false;
  fade_state.speed = 6.0f;
}

void start_fade_out() {
  fade_state.invert = true;
  fade_state.active = true;
  fade_state.hold = true;
  fade_state.speed = 1.0f;
}

float advance_fade(FadeState& fade, float now) {
  if (fade.start == 0.0f) fade.start = now;
  fade.level = std::cos((now - fade.start) * fade.speed);
  const float alpha = fade.invert ? 1.0f - fade.level : fade.level;
  if (!fade.hold && fade.level < 0.0f) {
    fade.active = false;
    fade.start = 0.0f;
    fade.level = 0.0f;
  }
  return alpha;
}

void draw_fade_overlay() {
  if (!fade_state.active) return;
  const float alpha = advance_fade(fade_state, frame_time);
  // A 3D scene leaves fog and depth test on; a driver may fog by the true eye
  // distance, which would turn the white black, and nothing may hide the white.
  const bool fog = glIsEnabled(GL_FOG), depth_test = glIsEnabled(GL_DEPTH_TEST);
  glDisable(GL_FOG);
  glDisable(GL_DEPTH_TEST);
  glPushMatrix();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, alpha);
  draw_rect(screen_width, screen_height, 0);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glPopMatrix();
  if (fog) glEnable(GL_FOG);
  if (depth_test) glEnable(GL_DEPTH_TEST);
  glColor4f(1, 1, 1, 1);
}
