// The show's resources (see show_resources.h), in the intro's start-up
// order.  Each scene builds only on its first call, so the show itself
// creates nothing once it runs.
#include "show_resources.h"

#include <GL/gl.h>

#include "bitmap_font.h"
#include "embedded_assets.h"
#include "reflection_scene.h"
#include "show_state.h"
#include "street_scene.h"
#include "text_screen.h"
#include "texture.h"
#include "wave_scene.h"

static BitmapFont* make_font(const unsigned char* sheet, int32_t size) {
  Texture* texture = load_texture_bmp(sheet, size, GL_NEAREST, GL_NEAREST, GL_CLAMP, GL_CLAMP);
  return new BitmapFont{8, 16, GL_ONE, GL_ONE, texture};
}

void prepare_show(int32_t width, int32_t height, void (*after_boot_logo)()) {
  screen_width = width;
  screen_height = height;
  pixel_scale = compute_pixel_scale(height);
  boot_logo = load_texture_bmp(asset_boot_logo_bmp, asset_boot_logo_bmp_size, GL_NEAREST, GL_NEAREST,
                               GL_CLAMP, GL_CLAMP);
  if (after_boot_logo) after_boot_logo();

  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glFrontFace(GL_CCW);
  glEnable(GL_NORMALIZE);

  console_font = make_font(asset_console_font_bmp, asset_console_font_bmp_size);
  screen_font = make_font(asset_screen_font_bmp, asset_screen_font_bmp_size);

  start_text_screen();
  build_reflection_scene();
  build_street_scene();
  build_wave_scene();
}
