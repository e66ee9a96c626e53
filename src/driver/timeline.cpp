// render_frame and the scene state machine.  Scene changes follow the
// music's order position and row; motion inside scenes follows frame_time.
#include "timeline.h"

#include <GL/gl.h>
#include <GLFW/glfw3.h>

#include <cstdlib>

#include "audio_output.h"
#include "boot_console.h"
#include "fade_overlay.h"
#include "music_cues.h"
#include "reflection_scene.h"
#include "song_link.h"
#include "show_state.h"
#include "street_scene.h"
#include "text_screen.h"
#include "wave_scene.h"

void start_scene(int32_t state) {
  switch (state) {
    case 0: start_boot_console(); break;
    case 1:
      // The music starts with the welcome screen; the stream was created corked.
      if (song_is_published() && !stream_is_playing()) request_stream_resume();
      start_text_screen();
      break;
    case 2: build_reflection_scene(); break;
    case 4: build_wave_scene(); break;
    case 6: build_street_scene(); break;
    default: start_text_screen(); break;
  }
}

static void draw_scene(int32_t state) {
  switch (state) {
    case 2: draw_reflection_scene(); break;
    case 4: draw_wave_scene(); break;
    default: draw_street_scene(); break;
  }
}

void render_frame() {
  previous_frame_time = frame_time;
  frame_time = static_cast<float>(glfwGetTime());

  uint16_t order_position = 0;
  uint8_t row = 0;
  if (stream_is_playing() && read_song_position(order_position, row)) {
    music_position = static_cast<uint8_t>(order_position);
    music_row = static_cast<uint8_t>(row - 1);  // the row most recently read
  }

  glClearColor(0, 0, 0, 1);
  if (scene_state != previous_scene_state) start_scene(scene_state);
  previous_scene_state = scene_state;

  if (scene_state == 0) {
    draw_boot_console();  // the boot console has no overlay
    return;
  }
  const bool text_screen_state = scene_state % 2 == 1;
  if (text_screen_state) {
    if (run_text_screen_cues(music_position, music_row) == CueResult::SHOW_OVER) std::exit(0);
    draw_text_screen();
  } else {
    if (run_scene_cues(music_position, music_row) == CueResult::HAND_OVER) return;
    draw_scene(scene_state);
  }
  draw_fade_overlay();
  glPopAttrib();
}
