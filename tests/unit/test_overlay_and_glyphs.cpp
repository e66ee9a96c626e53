// The fade overlay's maths, glyph cells and the texture coordinates of a
// source rectangle, and the pixel scale of the text screens.
#include <gtest/gtest.h>

#include <cmath>

#include "bitmap_font.h"
#include "draw_2d.h"
#include "fade_overlay.h"
#include "show_state.h"
#include "texture.h"

namespace {

TEST(PixelScale, IsHeightOverFourHundredAtLeastOne) {
  const int heights[][2] = {{0, 1},   {399, 1},  {400, 1},  {480, 1},  {768, 1},
                            {800, 2}, {1080, 2}, {1200, 3}, {1440, 3}, {2160, 5}};
  for (const auto& h : heights) EXPECT_EQ(compute_pixel_scale(h[0]), h[1]) << h[0];
}

TEST(FadeOverlay, FlashStartsWhiteAndSwitchesItselfOff) {
  FadeState fade = {};
  fade_state = fade;
  start_scene_flash();
  fade = fade_state;
  EXPECT_TRUE(fade.active);
  EXPECT_FALSE(fade.hold);
  EXPECT_FALSE(fade.invert);
  EXPECT_FLOAT_EQ(fade.speed, 6.0f);

  EXPECT_FLOAT_EQ(advance_fade(fade, 10.0f), 1.0f);
  EXPECT_FLOAT_EQ(fade.start, 10.0f);  // taken once, on the first frame
  EXPECT_NEAR(advance_fade(fade, 10.175f), 0.5f, 0.01f);
  EXPECT_FLOAT_EQ(fade.start, 10.0f);
  advance_fade(fade, 10.26f);
  EXPECT_TRUE(fade.active);  // cos is still positive just before pi/12 s
  const float alpha = advance_fade(fade, 10.27f);
  EXPECT_LT(alpha, 0.0f);  // draws nothing
  EXPECT_FALSE(fade.active);
  EXPECT_FLOAT_EQ(fade.start, 0.0f);
  EXPECT_FLOAT_EQ(fade.level, 0.0f);
}

TEST(FadeOverlay, FadeOutRisesToWhiteAndIsNeverReleasedByItself) {
  fade_state = {};
  start_fade_out();
  FadeState fade = fade_state;
  EXPECT_TRUE(fade.active && fade.hold && fade.invert);
  EXPECT_FLOAT_EQ(fade.speed, 1.0f);
  EXPECT_NEAR(advance_fade(fade, 50.0f), 0.0f, 1e-6f);
  EXPECT_NEAR(advance_fade(fade, 50.0f + 1.5707964f), 1.0f, 1e-3f);
  for (float t = 51.0f; t < 2000.0f; t += 7.3f) {
    advance_fade(fade, t);
    ASSERT_TRUE(fade.active) << t;
  }
  EXPECT_FLOAT_EQ(fade.start, 50.0f);
}

TEST(FadeOverlay, FlashAfterFadeOutRunsOnFromTheFadeOutStart) {
  fade_state = {};
  start_fade_out();
  advance_fade(fade_state, 20.0f);
  advance_fade(fade_state, 21.6f);
  // A hand-over switches the overlay off without resetting its start.
  fade_state.active = false;
  fade_state.hold = false;
  start_scene_flash();
  EXPECT_FLOAT_EQ(fade_state.start, 20.0f);
  const float t = 22.05f;  // 6 x 2.05 s lies where the cosine is positive again
  const float alpha = advance_fade(fade_state, t);
  EXPECT_NEAR(alpha, std::cos((t - 20.0f) * 6.0f), 1e-4f);
  // The flash ends at the first frame where that cosine is negative.
  float now = t;
  while (fade_state.active && now < 30.0f) {
    now += 0.01f;
    advance_fade(fade_state, now);
  }
  EXPECT_FALSE(fade_state.active);
  EXPECT_LT(std::cos((now - 20.0f) * 6.0f), 0.0f);
  EXPECT_GE(std::cos((now - 0.01f - 20.0f) * 6.0f), 0.0f);

  // Where the cosine is already negative, the flash is gone on its first frame.
  fade_state.start = 20.0f;
  start_scene_flash();
  advance_fade(fade_state, 21.7f);
  EXPECT_FALSE(fade_state.active);
}

TEST(Glyphs, CellOfACodeIsItsColumnAndRow) {
  const BitmapFont font = {8, 16, 1, 1, nullptr};
  const GlyphCell full_block = glyph_cell(font, 0xDB);
  EXPECT_EQ(full_block.x0, 216);
  EXPECT_EQ(full_block.x1, 224);
  EXPECT_EQ(full_block.y0, 96);
  EXPECT_EQ(full_block.y1, 112);
  // A plain char holding 0xDB is negative where char is signed; the cell is the same.
  const char signed_code = static_cast<char>(0xDB);
  const GlyphCell same = glyph_cell(font, static_cast<uint8_t>(signed_code));
  EXPECT_EQ(same.x0, 216);
  EXPECT_EQ(same.y0, 96);
  const GlyphCell a = glyph_cell(font, 'A');  // 65: column 1, row 2
  EXPECT_EQ(a.x0, 8);
  EXPECT_EQ(a.y0, 32);
  const GlyphCell last = glyph_cell(font, 255);
  EXPECT_EQ(last.x1, 256);
  EXPECT_EQ(last.y1, 128);
}

TEST(Glyphs, SourceRectangleMapsToFlippedTextureCoordinates) {
  const Texture sheet = {256, 128, 7};
  const QuadTexCoords c = source_tex_coords(sheet, 216, 96, 112, 224);
  const float s0 = 216.0f / 256, s1 = 224.0f / 256;
  const float t_top = 1.0f - 96.0f / 128, t_bottom = 1.0f - 112.0f / 128;
  const float expected[8] = {s0, t_bottom, s1, t_bottom, s1, t_top, s0, t_top};
  for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(c.st[i], expected[i]) << i;

  const Texture logo = {160, 160, 1};
  const QuadTexCoords whole = source_tex_coords(logo, 0, 0, 160, 160);
  EXPECT_FLOAT_EQ(whole.st[0], 0.0f);
  EXPECT_FLOAT_EQ(whole.st[1], 0.0f);
  EXPECT_FLOAT_EQ(whole.st[4], 1.0f);
  EXPECT_FLOAT_EQ(whole.st[5], 1.0f);
}

}  // namespace
