// The timeline's music tests, driven with made-up order positions and rows
// as the frames of a show would sample them: fade-outs, hand-overs and the
// end of the show, also where slow frames skip the rows they are keyed to.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "fade_overlay.h"
#include "music_cues.h"
#include "show_state.h"

namespace {

// A frame as render_frame decides it: start a changed scene (whose start
// routine opens with the flash), then the music tests of its kind.
struct Frame {
  int32_t state_drawn;
  CueResult result;
  bool entered;
};

struct ShowRun {
  std::vector<std::pair<int32_t, std::pair<int, int>>> entries;  // state, (position, row)
  std::vector<std::pair<int, int>> fade_outs;                    // where a fade-out began
  float now = 5.0f;

  Frame frame(uint8_t position, uint8_t row) {
    now += 0.01f;
    const bool entered = scene_state != previous_scene_state;
    if (entered) {
      entries.push_back({scene_state, {position, row}});
      start_scene_flash();
    }
    previous_scene_state = scene_state;
    const int32_t drawn = scene_state;
    const bool was_fading = fade_state.active && fade_state.hold;
    const CueResult result = run_music_cues(position, row);
    if (!was_fading && fade_state.active && fade_state.hold) fade_outs.push_back({position, row});
    if (result == CueResult::DRAW && fade_state.active) advance_fade(fade_state, now);
    return {drawn, result, entered};
  }
};

void reset_show() {
  scene_state = 1;  // the boot console has handed over
  previous_scene_state = 0;
  fade_state = {};
}

TEST(Timeline, ShowEndsOnTheFirstSampleAtOrAfterItsLastRow) {
  reset_show();
  scene_state = previous_scene_state = 7;
  ShowRun run;
  EXPECT_EQ(run.frame(20, 62).result, CueResult::DRAW);
  EXPECT_EQ(run.frame(21, 255).result, CueResult::DRAW);  // no row of 21 read yet
  EXPECT_EQ(run.frame(21, 61).result, CueResult::DRAW);
  EXPECT_EQ(run.frame(21, 62).result, CueResult::SHOW_OVER);
  EXPECT_EQ(run.frame(21, 63).result, CueResult::SHOW_OVER);
  // A frame that slept through the last rows finds the song at its restart position.
  EXPECT_EQ(run.frame(0, 255).result, CueResult::SHOW_OVER);
  EXPECT_EQ(run.frame(1, 40).result, CueResult::SHOW_OVER);
  EXPECT_EQ(scene_state, 7);
  EXPECT_TRUE(run.fade_outs.empty());
}

TEST(Timeline, TextScreenSetsTheNextSceneButIsStillDrawn) {
  reset_show();
  ShowRun run;
  run.frame(1, 40);
  EXPECT_TRUE(fade_state.hold);
  const Frame cut = run.frame(2, 255);
  EXPECT_EQ(cut.state_drawn, 1);
  EXPECT_EQ(cut.result, CueResult::DRAW);
  EXPECT_EQ(scene_state, 2);
  EXPECT_TRUE(fade_state.active && fade_state.hold);  // held white until the scene starts
  const Frame next = run.frame(2, 0);
  EXPECT_TRUE(next.entered);
  EXPECT_EQ(next.state_drawn, 2);
  EXPECT_FALSE(fade_state.hold);  // the scene's flash released it
}

TEST(Timeline, HandOverFrameDrawsNothingAndReleasesTheOverlay) {
  reset_show();
  scene_state = previous_scene_state = 4;
  ShowRun run;
  run.frame(11, 40);
  ASSERT_TRUE(fade_state.active && fade_state.hold);
  const float start = fade_state.start;
  const Frame hand_over = run.frame(12, 255);
  EXPECT_EQ(hand_over.result, CueResult::HAND_OVER);
  EXPECT_EQ(scene_state, 5);
  EXPECT_FALSE(fade_state.active);
  EXPECT_FALSE(fade_state.hold);
  EXPECT_TRUE(fade_state.invert);  // only active and hold change
  EXPECT_FLOAT_EQ(fade_state.start, start);
}

TEST(Timeline, RowFortyOverSeveralFramesTakesTheStartOnce) {
  reset_show();
  ShowRun run;
  run.frame(1, 40);
  const float start = fade_state.start;
  ASSERT_GT(start, 0.0f);
  run.frame(1, 40);
  run.frame(1, 40);
  EXPECT_FLOAT_EQ(fade_state.start, start);
  EXPECT_EQ(run.fade_outs.size(), 1u);
}

TEST(Timeline, FadeStartsOnTheFirstSampleAfterRowForty) {
  reset_show();
  ShowRun run;
  run.frame(1, 255);  // the position has begun, no row of it read yet
  run.frame(1, 39);
  EXPECT_TRUE(run.fade_outs.empty());
  run.frame(1, 43);
  scene_state = 2;  // its start opens with the flash, which releases the fade
  run.frame(5, 255);
  run.frame(5, 39);
  run.frame(5, 63);
  const std::vector<std::pair<int, int>> expected = {{1, 43}, {5, 63}};
  EXPECT_EQ(run.fade_outs, expected);
}

TEST(Timeline, SilentMusicKeepsTheWelcomeScreen) {
  reset_show();
  ShowRun run;
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(run.frame(0, 0).result, CueResult::DRAW);
  EXPECT_EQ(scene_state, 1);
  EXPECT_EQ(run.entries.size(), 1u);
}

TEST(Timeline, SceneTestsBelongToTheirOwnScene) {
  reset_show();
  scene_state = previous_scene_state = 4;
  ShowRun run;
  EXPECT_EQ(run.frame(6, 0).result, CueResult::DRAW);  // the reflection scene's hand-over
  run.frame(5, 40);                                    // and its fade-out
  EXPECT_EQ(scene_state, 4);
  EXPECT_TRUE(run.fade_outs.empty());
  scene_state = previous_scene_state = 3;
  run.frame(12, 0);  // a text screen does not hand over from a 3D scene's position
  run.frame(2, 0);   // nor from another text screen's
  EXPECT_EQ(scene_state, 3);
}

// The embedded song as the timeline samples it `seconds` into the music:
// 22 positions of 64 rows at 4, 4, 2 and 2 ticks, 104 BPM; while a
// pattern's last row plays the replayer already stands at the next position.
std::pair<uint8_t, uint8_t> song_sample_at(double seconds) {
  const int64_t tick = int64_t(seconds * 104 / 2.5);
  const int position = int(tick / 192 % 22);
  int64_t left = tick % 192;
  int row = 0;
  for (; left >= (row % 4 < 2 ? 4 : 2); ++row) left -= row % 4 < 2 ? 4 : 2;
  if (row == 63) return {uint8_t((position + 1) % 22), 255};
  return {uint8_t(position), uint8_t(row)};
}

TEST(Timeline, AtEightFramesPerSecondTheShowEndsByItselfWithEveryFade) {
  // Row 62 lasts 48 ms and row 40 96 ms: frames of 125 ms skip them at most phases.
  for (int phase_ms = 0; phase_ms < 125; phase_ms += 5) {
    reset_show();
    ShowRun run;
    double t = phase_ms / 1000.0;
    for (; t < 200; t += 0.125) {
      const std::pair<uint8_t, uint8_t> sample = song_sample_at(t);
      if (run.frame(sample.first, sample.second).result == CueResult::SHOW_OVER) break;
    }
    EXPECT_NEAR(t, 101.44 + 0.0625, 0.07) << "phase " << phase_ms << " ms";
    ASSERT_EQ(run.entries.size(), 7u) << "phase " << phase_ms << " ms";
    std::vector<int> entry_positions;
    for (size_t i = 0; i < run.entries.size(); ++i) {
      EXPECT_EQ(run.entries[i].first, int32_t(i + 1));
      entry_positions.push_back(run.entries[i].second.first);
    }
    EXPECT_EQ(entry_positions, (std::vector<int>{0, 2, 6, 8, 12, 16, 20})) << "phase " << phase_ms << " ms";
    std::vector<int> fade_positions;
    for (const std::pair<int, int>& fade : run.fade_outs) fade_positions.push_back(fade.first);
    EXPECT_EQ(fade_positions, (std::vector<int>{1, 5, 7, 11, 15, 19})) << "phase " << phase_ms << " ms";
  }
}

}  // namespace
