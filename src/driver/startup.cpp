// Start-up and the main loop.  The order matters: the GL context must exist
// before textures, every scene's resources before the show, and the song is
// published last, after the audio thread is already waiting for it.
#include "startup.h"

#include <GL/gl.h>
#include <GLFW/glfw3.h>

#include <cstdlib>

#include "audio_output.h"
#include "bitmap_font.h"
#include "embedded_assets.h"
#include "load_module.h"
#include "reflection_scene.h"
#include "show_state.h"
#include "street_scene.h"
#include "text_screen.h"
#include "texture.h"
#include "timeline.h"
#include "wave_scene.h"

GLFWwindow* main_window = nullptr;

void on_key(GLFWwindow* window, int key, int, int action, int) {
  if (action == GLFW_PRESS && key == GLFW_KEY_ESCAPE) glfwSetWindowShouldClose(window, GLFW_TRUE);
}

static BitmapFont* make_font(const unsigned char* sheet, int32_t size) {
  Texture* texture = load_texture_bmp(sheet, size, GL_NEAREST, GL_NEAREST, GL_CLAMP, GL_CLAMP);
  return new BitmapFont{8, 16, GL_ONE, GL_ONE, texture};
}

void start_up() {
  if (!glfwInit()) std::exit(1);
  GLFWmonitor* monitor = glfwGetPrimaryMonitor();
  const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
  // Without a video mode there is nothing to size the window by.
  if (!mode) std::exit(1);

  glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 1);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
  glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
  glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
  glfwWindowHint(GLFW_SAMPLES, 4);

  screen_width = mode->width;
  screen_height = mode->height;
  main_window = glfwCreateWindow(screen_width, screen_height,
                                 "Korvatel - Lanternworks & Brackenridge conference", monitor, nullptr);
  // A show that cannot open its window has failed, and says so to whoever started it.
  if (!main_window) std::exit(1);
  glfwSetKeyCallback(main_window, on_key);
  glfwMakeContextCurrent(main_window);

  boot_logo = load_texture_bmp(asset_boot_logo_bmp, asset_boot_logo_bmp_size, GL_NEAREST, GL_NEAREST,
                               GL_CLAMP, GL_CLAMP);

  screen_width = mode->width;
  screen_height = mode->height;
  glfwSetWindowMonitor(main_window, monitor, 0, 0, screen_width, screen_height, GLFW_DONT_CARE);
  glfwSetInputMode(main_window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);
  pixel_scale = compute_pixel_scale(screen_height);
  glfwShowWindow(main_window);

  // Fixed state that every scene relies on.
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glFrontFace(GL_CCW);
  glEnable(GL_NORMALIZE);

  console_font = make_font(asset_console_font_bmp, asset_console_font_bmp_size);
  screen_font = make_font(asset_screen_font_bmp, asset_screen_font_bmp_size);
  pixel_scale = compute_pixel_scale(screen_height);

  // Each builds its resources on this first call, so the show itself creates none.
  start_text_screen();
  build_reflection_scene();
  build_street_scene();
  build_wave_scene();

  start_audio_output();

  // The show's own music, compiled in; a song that does not load is our fault, not the user's.
  if (!load_module(asset_song_xm, static_cast<uint32_t>(asset_song_xm_size))) std::exit(1);
}

void run_main_loop(void (*after_frame)()) {
  for (;;) {
    if (glfwWindowShouldClose(main_window)) std::exit(0);
    render_frame();
    glfwSwapBuffers(main_window);
    if (after_frame) after_frame();
    glfwPollEvents();
  }
}
