// The timeline's music tests (see music_cues.h).  They read only the
// sampled position and row, so they never fire while the music is silent.
#include "music_cues.h"

#include "fade_overlay.h"
#include "scenes.h"
#include "show_state.h"

namespace {

// What the timeline samples at a new position before its first row is read.
constexpr uint8_t NO_ROW_READ = 255;
constexpr uint8_t FADE_ROW = 40;

bool row_reached(uint8_t sampled_row, int16_t row) { return sampled_row != NO_ROW_READ && sampled_row >= row; }

bool scene_ended(int32_t state, const Scene& scene, uint8_t position, uint8_t row) {
  if (scene.end_row == ANY_ROW) return position == scene.end_position;
  if (position == scene.end_position) return row_reached(row, scene.end_row);
  // Anywhere but the scene's own positions, the song has gone past its end
  // (a slow frame slept through the last rows and the song started again).
  return position < scene_first_position(state) || position > scene.end_position;
}

}  // namespace

CueResult run_music_cues(uint8_t position, uint8_t row) {
  const Scene& scene = scenes[scene_state];
  if (position == scene.fade_position && row_reached(row, FADE_ROW)) start_fade_out();
  if (!scene_ended(scene_state, scene, position, row)) return CueResult::DRAW;
  if (scene.next_state == SHOW_OVER_STATE) return CueResult::SHOW_OVER;
  scene_state = scene.next_state;
  // A text screen stays white under its held fade until the next scene starts.
  if (scene.kind == SceneKind::TEXT_SCREEN) return CueResult::DRAW;
  fade_state.active = false;
  fade_state.hold = false;
  return CueResult::HAND_OVER;
}
