// The timeline's music tests (see music_cues.h).  They read only the
// sampled position and row, so they never fire while the music is silent.
// A frame may be longer than a row, so a fade or the end fires on the first
// sample at or after its row, never on that one row alone.
#include "music_cues.h"

#include "fade_overlay.h"
#include "show_state.h"

namespace {

// What the timeline samples at a new position before its first row is read.
constexpr uint8_t NO_ROW_READ = 255;
constexpr uint8_t FADE_ROW = 40;
constexpr uint8_t CREDITS_FIRST_POSITION = 20;
constexpr uint8_t LAST_POSITION = 21;
constexpr uint8_t LAST_ROW = 62;

bool row_reached(uint8_t sampled_row, uint8_t row) { return sampled_row != NO_ROW_READ && sampled_row >= row; }

// On the credits: at or after the last row, or the song already past its
// last position (back at its restart position, or further on).
bool show_is_over(uint8_t position, uint8_t row) {
  if (position == LAST_POSITION) return row_reached(row, LAST_ROW);
  return position < CREDITS_FIRST_POSITION || position > LAST_POSITION;
}

}  // namespace

CueResult run_text_screen_cues(uint8_t position, uint8_t row) {
  if (scene_state == 7) return show_is_over(position, row) ? CueResult::SHOW_OVER : CueResult::DRAW;
  if (position <= 15) {
    if ((position == 1 || position == 7 || position == 15) && row_reached(row, FADE_ROW)) start_fade_out();
    if (position == 8) {
      scene_state = 4;
    } else if (position == 2) {
      scene_state = 2;
    }
  } else if (position == 16) {
    scene_state = 6;
  }
  return CueResult::DRAW;
}

namespace {
struct SceneCue {
  int32_t state;
  uint8_t fade_position;
  uint8_t hand_over_position;
  int32_t next_state;
};
const SceneCue scene_cues[] = {{2, 5, 6, 3}, {4, 11, 12, 5}, {6, 19, 20, 7}};
}  // namespace

CueResult run_scene_cues(uint8_t position, uint8_t row) {
  for (const SceneCue& cue : scene_cues) {
    if (cue.state != scene_state) continue;
    if (position == cue.fade_position) {
      if (row_reached(row, FADE_ROW)) start_fade_out();
    } else if (position == cue.hand_over_position) {
      scene_state = cue.next_state;
      fade_state.active = false;
      fade_state.hold = false;
      return CueResult::HAND_OVER;
    }
  }
  return CueResult::DRAW;
}
