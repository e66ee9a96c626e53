// Text screens and boot console: the texts, their layout, typing, the star
// field's steps and the boot console's stripes and cursor.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "boot_console.h"
#include "scenes.h"
#include "screen_texts.h"
#include "show_state.h"
#include "star_field.h"
#include "text_screen.h"

namespace {

// Every text on the smallest screen the show is made for and on larger ones:
// the boot log unscaled from the top-left, clear of the 160-pixel logo at the
// top-right; each text screen centred at its glyph scale, wholly on screen.
TEST(ScreenTexts, EveryTextFitsOnScreen) {
  const TextExtent boot = measure_text(boot_text);
  EXPECT_LE(boot.widest * 8, 854 - 160);
  EXPECT_LE(boot.line_feeds * 16, 480);
  const int32_t sizes[][2] = {{854, 480}, {1366, 768}, {1920, 1080}, {3840, 2160}};
  for (int32_t state : {1, 3, 5, 7}) {
    const char* text = scenes[state].text;
    const TextExtent extent = measure_text(text);
    const int32_t lines = extent.line_feeds + (text[std::strlen(text) - 1] != '\n');
    for (const auto& size : sizes) {
      SCOPED_TRACE(testing::Message() << "state " << state << " at " << size[0] << "x" << size[1]);
      TextScreenState screen = {};
      screen.text_scale = compute_pixel_scale(size[1]);
      centre_text(screen, extent, size[0], size[1]);
      EXPECT_GE(screen.origin_x, 0.0f);
      EXPECT_GE(screen.origin_y, 0.0f);
      EXPECT_LE(screen.origin_x + float(extent.widest * 8 * screen.text_scale), float(size[0]));
      EXPECT_LE(screen.origin_y + float(lines * 16 * screen.text_scale), float(size[1]));
    }
  }
}

TEST(Typing, RevealsOneBytePerFrameAfterTwentyMilliseconds) {
  TextScreenState state = {};
  state.length = 3;
  state.last_step_time = 1.0f;
  advance_typing(state, 1.01f);
  EXPECT_EQ(state.typed, 0u);  // too soon
  advance_typing(state, 1.03f);
  EXPECT_EQ(state.typed, 1u);
  EXPECT_FLOAT_EQ(state.last_step_time, 1.03f);
  advance_typing(state, 1.04f);
  EXPECT_EQ(state.typed, 1u);  // measured from the last step, not the start
  advance_typing(state, 2.0f);
  advance_typing(state, 3.0f);
  EXPECT_EQ(state.typed, 3u);
  advance_typing(state, 4.0f);
  EXPECT_EQ(state.typed, 3u);  // stops at the length
  EXPECT_FLOAT_EQ(state.last_step_time, 3.0f);
}

TEST(StarField, StepsTwoForEveryThirdStarAndWraps) {
  EXPECT_EQ(step_star_depth(500, 0), 498u);
  EXPECT_EQ(step_star_depth(500, 1), 499u);
  EXPECT_EQ(step_star_depth(500, 2), 499u);
  EXPECT_EQ(step_star_depth(1, 3), 875u);
  EXPECT_EQ(step_star_depth(0, 4), 875u);
  EXPECT_EQ(step_star_depth(0, 6), 874u);
  EXPECT_EQ(step_star_depth(999, 1), 13u);  // first step of a star made at 999
  EXPECT_FLOAT_EQ(star_brightness(0), 1.0f);
  EXPECT_NEAR(star_brightness(984), 0.016f, 1e-6f);
}

TEST(StarField, FillsEveryStarInsideTheScreenAsTheUnseededRandWould) {
  // Others drawing from rand() (a driver) leave the stars where they stand.
  std::srand(7);
  (void)std::rand();
  fill_star_field(854, 480);
  std::srand(1);  // the C library's unseeded sequence
  for (const Star& s : star_field) {
    const int32_t x = std::rand() % 854, y = std::rand() % 480;
    ASSERT_EQ(s.x, x);
    ASSERT_EQ(s.y, y);
    ASSERT_EQ(s.depth, uint32_t(std::rand() % 1000));
  }
}

TEST(BootStripes, StartAfterTwoSecondsAndGrowTwelvePerFrame) {
  BootConsoleState state = {0, false, 1.0f};
  StripeFrame frame = advance_stripes(state, 2.9f, 2.8f, 480);
  EXPECT_FALSE(state.stripes_started);
  EXPECT_EQ(frame.stripes_to_draw, 0);
  EXPECT_EQ(state.stripe_count, 0);

  float now = 3.0f;
  frame = advance_stripes(state, now, 2.9f, 480);  // first frame past the mark draws none
  EXPECT_TRUE(state.stripes_started);
  EXPECT_EQ(frame.stripes_to_draw, 0);
  for (int i = 2; i <= 11; ++i) {
    const float previous = now;
    now += 0.01f;
    frame = advance_stripes(state, now, previous, 480);
  }
  EXPECT_EQ(frame.stripes_to_draw, 120);  // the eleventh frame draws all 120
  EXPECT_FALSE(frame.finished);           // but 4 s have not passed
  frame = advance_stripes(state, 4.99f, now, 480);
  EXPECT_EQ(frame.stripes_to_draw, 120);  // clamped to height / 4
  EXPECT_FALSE(frame.finished);
  frame = advance_stripes(state, 5.0f, 4.99f, 480);
  EXPECT_TRUE(frame.finished);
}

TEST(BootStripes, DoNotGrowWhenTheClockStands) {
  BootConsoleState state = {24, true, 0.0f};
  advance_stripes(state, 2.5f, 2.5f, 1080);
  EXPECT_EQ(state.stripe_count, 24);
  advance_stripes(state, 2.6f, 2.5f, 1080);
  EXPECT_EQ(state.stripe_count, 36);
}

TEST(BootCursor, BlinksOnEvenSeconds) {
  EXPECT_TRUE(cursor_visible(0.0f));
  EXPECT_TRUE(cursor_visible(0.99f));
  EXPECT_FALSE(cursor_visible(1.0f));
  EXPECT_FALSE(cursor_visible(1.5f));
  EXPECT_TRUE(cursor_visible(2.0f));
  EXPECT_FALSE(cursor_visible(3.25f));
}

}  // namespace
