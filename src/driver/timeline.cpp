// render_frame and the scene state machine.  Scene changes follow the
// music's order position and row; motion inside scenes follows frame_time.
// Nothing here reads a clock or talks to the sound server: the caller does.
#include "timeline.h"

#include <GL/gl.h>

#include "fade_overlay.h"
#include "music_cues.h"
#include "scene_routines.h"
#include "scenes.h"
#include "show_state.h"

// Runs a scene's start routine; true when the music must start with it.
static bool start_scene(int32_t state, const FrameInputs& inputs) {
  // Until the welcome screen the music is held back.
  const bool start_music = scenes[state].starts_music && inputs.song_published && !inputs.music_playing;
  scene_routines[state].start();
  return start_music;
}

FrameOutcome render_frame(const FrameInputs& inputs) {
  FrameOutcome outcome = {false, true, false};
  previous_frame_time = frame_time;
  frame_time = inputs.clock;

  if (inputs.music_playing) {
    music_position = static_cast<uint8_t>(inputs.order_position);
    // The row most recently read; 255 (the start row less one) from the moment
    // the replayer moves on to a new position, while the last row still plays.
    music_row = static_cast<uint8_t>(inputs.row - 1);
  }

  glClearColor(0, 0, 0, 1);
  if (scene_state != previous_scene_state) outcome.start_music = start_scene(scene_state, inputs);
  previous_scene_state = scene_state;

  const SceneRoutines& routines = scene_routines[scene_state];
  if (scenes[scene_state].kind == SceneKind::BOOT_CONSOLE) {
    routines.draw();  // the boot console has no overlay
    return outcome;
  }
  const CueResult cue = run_music_cues(music_position, music_row);
  if (cue != CueResult::DRAW) {
    outcome.drawn = false;
    outcome.show_over = cue == CueResult::SHOW_OVER;
    return outcome;
  }
  routines.draw();
  draw_fade_overlay();
  glPopAttrib();
  return outcome;
}
