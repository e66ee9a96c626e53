// The test and benchmark window (see scene_window.h).  The scene routines
// read the show's globals (screen size, clock, scene), so this sets them as
// start-up and the timeline would.
#include "scene_window.h"

#include <GL/gl.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstdio>

#include "fade_overlay.h"
#include "scene_routines.h"
#include "scenes.h"
#include "show_resources.h"
#include "show_state.h"

namespace {
GLFWwindow* window = nullptr;
GLFWwindow* fresh_window = nullptr;
}  // namespace

bool open_scene_window(int32_t width, int32_t height, int32_t samples) {
  if (!glfwInit()) return false;
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 1);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
  glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
  glfwWindowHint(GLFW_DECORATED, GLFW_FALSE);
  glfwWindowHint(GLFW_SAMPLES, samples);
  glfwWindowHint(GLFW_STENCIL_BITS, 8);
  window = glfwCreateWindow(width, height, "scene test", nullptr, nullptr);
  if (!window) return false;
  glfwMakeContextCurrent(window);
  glfwSwapInterval(0);
  frame_time = 0.001f;
  prepare_show(width, height);
  fade_state = {};
  return true;
}

bool open_fresh_context() {
  fresh_window = glfwCreateWindow(screen_width, screen_height, "fresh context", nullptr, window);
  if (!fresh_window) return false;
  glfwMakeContextCurrent(fresh_window);
  glfwSwapInterval(0);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glFrontFace(GL_CCW);
  glEnable(GL_NORMALIZE);
  return true;
}

void close_scene_window() {
  if (fresh_window) glfwDestroyWindow(fresh_window);
  if (window) glfwDestroyWindow(window);
  fresh_window = window = nullptr;
  glfwTerminate();
}

void start_scene_at(int32_t state, float start) {
  frame_time = start;
  scene_state = state;
  glClearColor(0, 0, 0, 1);
  scene_routines[state].start();
  fade_state = {};
}

void draw_scene_at(int32_t state, float now) {
  previous_frame_time = frame_time;
  frame_time = now;
  glClearColor(0, 0, 0, 1);
  scene_routines[state].draw();
  // Every scene but the boot console leaves its attributes pushed for the timeline to pop.
  if (scenes[state].kind != SceneKind::BOOT_CONSOLE) glPopAttrib();
  glFinish();
}

void swap_scene_window() {
  glfwSwapBuffers(window);
  glfwPollEvents();
}

Picture read_picture() {
  Picture picture;
  picture.width = screen_width;
  picture.height = screen_height;
  const size_t count = static_cast<size_t>(screen_width) * screen_height;
  std::vector<uint8_t> rgb(3 * count), stencil(count);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, screen_width, screen_height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  glReadPixels(0, 0, screen_width, screen_height, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, stencil.data());
  // GL reads bottom-up; pictures here are top-down like screenshots.
  picture.rgb.resize(rgb.size());
  picture.stencil.resize(stencil.size());
  for (int32_t y = 0; y < screen_height; ++y) {
    const int32_t from = screen_height - 1 - y;
    std::copy_n(&rgb[3 * from * screen_width], 3 * screen_width, &picture.rgb[3 * y * screen_width]);
    std::copy_n(&stencil[from * screen_width], screen_width, &picture.stencil[y * screen_width]);
  }
  return picture;
}

bool write_ppm(const Picture& picture, const char* path) {
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  std::fprintf(out, "P6\n%d %d\n255\n", picture.width, picture.height);
  const bool ok = std::fwrite(picture.rgb.data(), 1, picture.rgb.size(), out) == picture.rgb.size();
  return std::fclose(out) == 0 && ok;
}
