// The whole show through the offline capture, frame by frame at 60 fps, held
// to the song's own schedule: the rows the replayer reads are found apart,
// by playing a second copy of the song, and every scene change, fade and
// the end must fall on the very frame whose audio time first reaches them.
// The pictures are read back and checked where the schedule makes them
// certain: white at the end of every fade, a flash at every 3D scene's start.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "embedded_assets.h"
#include "fade_overlay.h"
#include "load_module.h"
#include "offscreen_gl.h"
#include "replayer.h"
#include "sequencing.h"
#include "show_capture.h"
#include "show_state.h"
#include "text_screen.h"

namespace {

constexpr int32_t WIDTH = 480, HEIGHT = 270, FPS = 60;

struct FrameRecord {
  FrameInputs inputs;
  int32_t drawn_state;  // the scene whose frame this was
  bool drawn;
  bool fading;          // a fade to white has begun
  bool typed_out;       // a text screen's text shown whole
  bool overlay;         // the overlay is still on after the frame
  uint32_t white;       // pixels that are pure white
  uint32_t audio_frames;
};

struct CapturedShow {
  std::string error;
  int64_t welcome_frame = -1;
  std::vector<FrameRecord> frames;  // up to the frame that ended the show, which is not drawn
  std::vector<uint8_t> last_rgba;
};

// The music frame at which each row is read, by playing the song apart.
std::map<std::pair<int, int>, int64_t> row_read_frames() {
  std::map<std::pair<int, int>, int64_t> rows;
  ModuleContext* song = prepare_module(asset_song_xm, static_cast<uint32_t>(asset_song_xm_size));
  std::vector<float> block(2 * 4096);
  int64_t frame = 0;
  while (frame < 110 * int64_t(OUTPUT_RATE)) {
    uint32_t count = frames_before_tick(*song);
    if (count == 0) {
      if (tick_reads_row(*song)) {
        const RowPosition next = upcoming_row(*song);
        if (!rows.emplace(std::make_pair(int(next.order_position), int(next.row)), frame).second) break;  // the repeat
      }
      count = 1;
    }
    count = std::min<uint32_t>(count, 4096);
    render_frames(*song, block.data(), count);
    frame += count;
  }
  std::free(song);
  return rows;
}

const CapturedShow& captured_show() {
  static CapturedShow show = [] {
    CapturedShow result;
    OffscreenTarget target;
    if (!open_offscreen(WIDTH, HEIGHT, 4, target, result.error)) return result;
    ShowCapture capture;
    if (!open_show_capture(capture, WIDTH, HEIGHT, FPS)) {
      result.error = "the song did not load";
      return result;
    }
    std::vector<uint8_t> rgba(size_t(WIDTH) * HEIGHT * 4);
    while (capture.frame < 200 * FPS) {
      const FrameInputs inputs = capture_next_frame(capture);
      FrameRecord record = {inputs, previous_scene_state, capture.drawn, fade_state.active && fade_state.hold,
                            text_screen.text && text_screen.typed == uint32_t(text_screen.length),
                            fade_state.active, 0,
                            uint32_t(capture.audio.size() / 2)};
      if (!capture.over) {
        if (!read_offscreen(target, rgba.data(), result.error)) return result;
        for (size_t i = 0; i < rgba.size(); i += 4)
          record.white += rgba[i] == 255 && rgba[i + 1] == 255 && rgba[i + 2] == 255;
      }
      result.frames.push_back(record);
      if (capture.over) break;
    }
    result.welcome_frame = capture.welcome_frame;
    result.last_rgba = rgba;
    return result;
  }();
  return show;
}

class ShowCapture60 : public ::testing::Test {
 protected:
  void SetUp() override {
    const CapturedShow& show = captured_show();
    if (!show.error.empty()) GTEST_SKIP() << show.error;
    rows = row_read_frames();
    ASSERT_GT(show.welcome_frame, 0);
  }

  // The first frame whose audio time has passed the frame on which the row is read.
  int64_t first_frame_after_row(int position, int row) const {
    const auto found = rows.find({position, row});
    EXPECT_NE(found, rows.end()) << "the song never reads row " << row << " of position " << position;
    if (found == rows.end()) return -1;
    const int64_t music_start = captured_show().welcome_frame * OUTPUT_RATE / FPS;
    // Frame n samples the replayer after (n * 48000 / fps - music_start) frames of music.
    for (int64_t n = captured_show().welcome_frame + 1;; ++n)
      if (n * OUTPUT_RATE / FPS - music_start > found->second) return n;
  }

  std::map<std::pair<int, int>, int64_t> rows;
};

TEST_F(ShowCapture60, MusicStartsWithTheWelcomeScreenAndIsSampledAtEachFramesAudioTime) {
  const CapturedShow& show = captured_show();
  const int64_t welcome = show.welcome_frame;
  // The boot console ends on its own clock: at least 4 s, on the first frame past it.
  EXPECT_EQ(welcome, 4 * FPS + 1);
  for (int64_t n = 0; n <= welcome; ++n) {
    EXPECT_FALSE(show.frames[n].inputs.music_playing) << "frame " << n;
    EXPECT_EQ(show.frames[n].drawn_state, n < welcome ? 0 : 1) << "frame " << n;
  }
  // Audio: exactly 800 frames of 48 kHz per picture, silent until the music starts.
  for (size_t n = 0; n + 1 < show.frames.size(); ++n) ASSERT_EQ(show.frames[n].audio_frames, 800u);
  EXPECT_TRUE(show.frames[welcome + 1].inputs.music_playing);
  EXPECT_EQ(show.frames[welcome + 1].inputs.order_position, 0);
  EXPECT_EQ(show.frames[welcome + 1].inputs.row, 1);  // row 0 was read in the music's first frame
}

TEST_F(ShowCapture60, EveryScenePositionAndFadeFallsOnTheFrameTheSongRequires) {
  const CapturedShow& show = captured_show();
  // Text screens set the next scene when they sample its position and it
  // starts one frame later; 3D scenes hand over on that frame, drawing nothing.
  const struct {
    int32_t state, position;
    bool after_3d;
  } entries[] = {{2, 2, false}, {3, 6, true}, {4, 8, false}, {5, 12, true}, {6, 16, false}, {7, 20, true}};
  for (const auto& entry : entries) {
    const int64_t sampled = first_frame_after_row(entry.position - 1, 63);
    ASSERT_GT(sampled, 0);
    EXPECT_EQ(show.frames[sampled].drawn, !entry.after_3d) << "scene " << entry.state;
    EXPECT_NE(show.frames[sampled].drawn_state, entry.state) << "scene " << entry.state << " entered early";
    EXPECT_EQ(show.frames[sampled + 1].drawn_state, entry.state) << "scene " << entry.state;
    // The frame before the change is white: every fade has reached full white.
    const int64_t last_drawn = entry.after_3d ? sampled - 1 : sampled;
    EXPECT_EQ(show.frames[last_drawn].white, uint32_t(WIDTH * HEIGHT)) << "before scene " << entry.state;
  }
  for (int position : {1, 5, 7, 11, 15, 19}) {
    const int64_t fade = first_frame_after_row(position, 40);
    ASSERT_GT(fade, 0);
    EXPECT_FALSE(show.frames[fade - 1].fading) << "fade of position " << position << " early";
    EXPECT_TRUE(show.frames[fade].fading) << "fade of position " << position << " late";
  }
  // No fade anywhere else: fading frames come only in those six stretches.
  int stretches = 0;
  for (size_t n = 1; n < show.frames.size(); ++n) stretches += show.frames[n].fading && !show.frames[n - 1].fading;
  EXPECT_EQ(stretches, 6);
}

TEST_F(ShowCapture60, ScenesOpenWithTheirFlashAndTextsAreTypedToTheEnd) {
  const CapturedShow& show = captured_show();
  // The welcome screen's flash starts from full white and is gone within half a second.
  const int64_t welcome = show.welcome_frame;
  EXPECT_EQ(show.frames[welcome].white, uint32_t(WIDTH * HEIGHT));
  EXPECT_LT(show.frames[welcome + FPS / 2].white, uint32_t(WIDTH * HEIGHT / 100));
  // A 3D scene's flash runs on from the fade before it: whatever is left of it is gone half a second in.
  for (const int32_t state : {2, 4, 6}) {
    int64_t entered = -1;
    for (size_t n = 0; n < show.frames.size() && entered < 0; ++n)
      if (show.frames[n].drawn_state == state) entered = int64_t(n);
    ASSERT_GT(entered, 0);
    EXPECT_FALSE(show.frames[entered + FPS / 2].overlay) << "scene " << state;
  }
  for (int32_t state : {1, 3, 5, 7}) {
    bool typed_out = false;
    for (const FrameRecord& frame : show.frames)
      if (frame.drawn_state == state && !frame.fading) typed_out |= frame.typed_out;
    EXPECT_TRUE(typed_out) << "text screen " << state << " was not typed to the end before its fade";
  }
}

TEST_F(ShowCapture60, ShowEndsOnTheFrameThatReachesTheLastRow) {
  const CapturedShow& show = captured_show();
  const int64_t end = first_frame_after_row(21, 62);
  ASSERT_GT(end, 0);
  ASSERT_EQ(int64_t(show.frames.size()), end + 1);
  EXPECT_EQ(show.frames[end].inputs.order_position, 21);
  EXPECT_EQ(show.frames[end].inputs.row, 63);
  EXPECT_EQ(show.frames[end - 1].drawn_state, 7);
  EXPECT_NE(show.frames[end - 1].inputs.row, 63);
}

}  // namespace
