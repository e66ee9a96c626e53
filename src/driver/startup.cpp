// Start-up and the main loop.  The order matters: the GL context must exist
// before textures, every scene's resources before the show, and the song is
// published last, after the audio thread is already waiting for it.
#include "startup.h"

#include <GLFW/glfw3.h>

#include <cstdlib>

#include "audio_output.h"
#include "embedded_assets.h"
#include "load_module.h"
#include "show_resources.h"
#include "show_state.h"
#include "song_link.h"
#include "timeline.h"

namespace {

GLFWwindow* main_window = nullptr;
GLFWmonitor* monitor = nullptr;

void on_key(GLFWwindow* window, int key, int, int action, int) {
  if (action == GLFW_PRESS && key == GLFW_KEY_ESCAPE) glfwSetWindowShouldClose(window, GLFW_TRUE);
}

// Full-screen at the monitor's size, the pointer hidden and captured, then shown.
void place_window() {
  glfwSetWindowMonitor(main_window, monitor, 0, 0, screen_width, screen_height, GLFW_DONT_CARE);
  glfwSetInputMode(main_window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);
  glfwShowWindow(main_window);
}

// One frame's inputs as the live show has them: the wall clock since
// start-up and the music being heard now (see read_song_position).
FrameInputs live_frame_inputs() {
  FrameInputs inputs = {};
  inputs.clock = static_cast<float>(glfwGetTime());
  inputs.song_published = song_is_published();
  inputs.music_playing = stream_is_playing() && read_song_position(inputs.order_position, inputs.row);
  return inputs;
}

// X11, as on every desktop the show was made for: a Wayland session runs it
// through XWayland.  Only with no X server to reach does GLFW take what it finds.
bool init_window_system() {
#ifdef GLFW_PLATFORM
  glfwInitHint(GLFW_PLATFORM, GLFW_PLATFORM_X11);
  if (glfwInit()) return true;
  glfwInitHint(GLFW_PLATFORM, GLFW_ANY_PLATFORM);
#endif
  return glfwInit();
}

}  // namespace

void start_up() {
  if (!init_window_system()) std::exit(1);
  monitor = glfwGetPrimaryMonitor();
  const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
  // Without a video mode there is nothing to size the window by.
  if (!mode) std::exit(1);

  glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 1);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
  glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
  glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
  glfwWindowHint(GLFW_SAMPLES, 4);

  main_window = glfwCreateWindow(mode->width, mode->height, "Korvatel - Lanternworks & Brackenridge conference",
                                 monitor, nullptr);
  // A show that cannot open its window has failed, and says so to whoever started it.
  if (!main_window) std::exit(1);
  glfwSetKeyCallback(main_window, on_key);
  glfwMakeContextCurrent(main_window);

  prepare_show(mode->width, mode->height, place_window);

  start_audio_output();

  // The show's own music, compiled in; a song that does not load is our fault, not the user's.
  if (!load_module(asset_song_xm, static_cast<uint32_t>(asset_song_xm_size))) std::exit(1);
}

void run_main_loop() {
  for (;;) {
    if (glfwWindowShouldClose(main_window)) std::exit(0);
    const FrameOutcome outcome = render_frame(live_frame_inputs());
    if (outcome.start_music) request_stream_resume();
    if (outcome.show_over) std::exit(0);
    glfwSwapBuffers(main_window);
    glfwPollEvents();
  }
}
