// The timeline's music tests (see music_cues.h).  They read only the
// sampled position and row, so they never fire while the music is silent.
#include "music_cues.h"

#include "fade_overlay.h"
#include "show_state.h"

CueResult run_text_screen_cues(uint8_t position, uint8_t row) {
  if (position <= 15) {
    if ((position == 1 || position == 7 || position == 15) && row == 40) start_fade_out();
    if (position == 8) {
      scene_state = 4;
    } else if (position == 2) {
      scene_state = 2;
    }
  } else if (position == 21) {
    if (row == 62) return CueResult::SHOW_OVER;
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
      if (row == 40) start_fade_out();
    } else if (position == cue.hand_over_position) {
      scene_state = cue.next_state;
      fade_state.active = false;
      fade_state.hold = false;
      return CueResult::HAND_OVER;
    }
  }
  return CueResult::DRAW;
}
