// render_frame and the scene state machine.  Scene changes follow the
// music's order position and row; motion inside scenes follows frame_time.
// Nothing here reads a clock or talks to the sound server: the caller does.
#include "timeline.h"

#include <GL/gl.h>

#include "boot_console.h"
#include "fade_overlay.h"
#include "music_cues.h"
#include "reflection_scene.h"
#include "show_state.h"
#include "street_scene.h"
#include "text_screen.h"
#include "wave_scene.h"

// Runs the start routine of a scene; true when the music must start with it.
static bool start_scene(int32_t state, const FrameInputs& inputs) {
  switch (state) {
    case 0: start_boot_console(); return false;
    case 1: {
      // The music starts with the welcome screen; until then it is held back.
      const bool start_music = inputs.song_published && !inputs.music_playing;
      start_text_screen();
      return start_music;
    }
    case 2: build_reflection_scene(); return false;
    case 4: build_wave_scene(); return false;
    case 6: build_street_scene(); return false;
    default: start_text_screen(); return false;
  }
}

static void draw_scene(int32_t state) {
  switch (state) {
    case 2: draw_reflection_scene(); break;
    case 4: draw_wave_scene(); break;
    default: draw_street_scene(); break;
  }
}

FrameOutcome render_frame(const FrameInputs& inputs) {
  FrameOutcome outcome = {false, true, false};
  previous_frame_time = frame_time;
  frame_time = inputs.clock;

  if (inputs.music_playing) {
    music_position = static_cast<uint8_t>(inputs.order_position);
    music_row = static_cast<uint8_t>(inputs.row - 1);  // the row most recently read
  }

  glClearColor(0, 0, 0, 1);
  if (scene_state != previous_scene_state) outcome.start_music = start_scene(scene_state, inputs);
  previous_scene_state = scene_state;

  if (scene_state == 0) {
    draw_boot_console();  // the boot console has no overlay
    return outcome;
  }
  const bool text_screen_state = scene_state % 2 == 1;
  if (text_screen_state) {
    if (run_text_screen_cues(music_position, music_row) == CueResult::SHOW_OVER) {
      outcome.drawn = false;
      outcome.show_over = true;
      return outcome;
    }
    draw_text_screen();
  } else {
    if (run_scene_cues(music_position, music_row) == CueResult::HAND_OVER) {
      outcome.drawn = false;
      return outcome;
    }
    draw_scene(scene_state);
  }
  draw_fade_overlay();
  glPopAttrib();
  return outcome;
}
