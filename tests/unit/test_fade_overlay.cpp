// The fade overlay's flash and fade-out over the show clock, and the pixel
// scale of the text screens.  The glyphs themselves are checked on screen,
// pixel by pixel, by the headless screen tests.
#include <gtest/gtest.h>

#include <utility>

#include "fade_overlay.h"
#include "show_state.h"

namespace {

TEST(PixelScale, IsHeightOverFourHundredAtLeastOne) {
  const int heights[][2] = {{0, 1},   {399, 1},  {400, 1},  {480, 1},  {768, 1},
                            {800, 2}, {1080, 2}, {1200, 3}, {1440, 3}, {2160, 5}};
  for (const auto& h : heights) EXPECT_EQ(compute_pixel_scale(h[0]), h[1]) << h[0];
}

TEST(FadeOverlay, FlashStartsWhiteAndSwitchesItselfOff) {
  fade_state = {};
  start_scene_flash();
  FadeState fade = fade_state;
  EXPECT_TRUE(fade.active);
  EXPECT_FALSE(fade.hold);
  EXPECT_FALSE(fade.invert);

  EXPECT_FLOAT_EQ(advance_fade(fade, 10.0f), 1.0f);
  EXPECT_FLOAT_EQ(fade.start, 10.0f);  // taken once, on the first frame
  EXPECT_NEAR(advance_fade(fade, 10.175f), 0.5f, 0.01f);
  EXPECT_FLOAT_EQ(fade.start, 10.0f);
  advance_fade(fade, 10.26f);
  EXPECT_TRUE(fade.active);  // still fading just before pi/12 s
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
  EXPECT_NEAR(advance_fade(fade, 50.0f), 0.0f, 1e-6f);
  EXPECT_NEAR(advance_fade(fade, 50.0f + 1.5707964f), 1.0f, 1e-3f);
  for (float t = 51.0f; t < 2000.0f; t += 7.3f) {
    advance_fade(fade, t);
    ASSERT_TRUE(fade.active) << t;
  }
  EXPECT_FLOAT_EQ(fade.start, 50.0f);
}

// A hand-over switches the overlay off without resetting its start, so the
// next scene's flash is the one that would have begun with the fade-out:
// partly through, or already over when its first frame comes.
TEST(FadeOverlay, FlashAfterFadeOutRunsOnFromTheFadeOutStart) {
  for (const auto& [hand_over, drawn_at_once] : {std::pair{22.05f, true}, std::pair{21.7f, false}}) {
    SCOPED_TRACE(hand_over);
    fade_state = {};
    start_scene_flash();
    FadeState fresh = fade_state;
    advance_fade(fresh, 20.0f);

    fade_state = {};
    start_fade_out();
    advance_fade(fade_state, 20.0f);
    advance_fade(fade_state, 21.6f);
    fade_state.active = false;
    fade_state.hold = false;
    start_scene_flash();
    EXPECT_EQ(advance_fade(fresh, hand_over) > 0.0f, drawn_at_once);
    EXPECT_EQ(advance_fade(fade_state, hand_over) > 0.0f, drawn_at_once);
    for (float now = hand_over + 0.01f; now < 30.0f && (fresh.active || fade_state.active); now += 0.01f) {
      EXPECT_FLOAT_EQ(advance_fade(fade_state, now), advance_fade(fresh, now)) << now;
      ASSERT_EQ(fade_state.active, fresh.active) << now;
    }
    EXPECT_FALSE(fade_state.active);
  }
}

}  // namespace
