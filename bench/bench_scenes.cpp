// Frames per second of every scene as the show draws it: a window of the
// given size and sample count, each scene started at the show time the show
// enters it (cameras and waves move with the show clock, so every build
// draws the same frames) and then drawn and swapped for a few seconds of
// show time that follows the wall clock.  Text screens are measured fully
// typed, as they stand for most of their time.
// The first line is the floor under them all: clearing and swapping alone.
// Usage: bench_scenes WIDTH HEIGHT SAMPLES [SECONDS_PER_SCENE [SCENE]]  (SCENE 0 to 7: that one alone, for profiling)
#include <GL/gl.h>
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>

#include "scene_window.h"
#include "text_screen.h"

static void report(const char* name, int width, int height, int samples, int frames, double seconds) {
  std::printf("%-10s %4dx%-4d %d samples: %6.1f frames per second (%d frames in %.1f s)\n", name, width, height,
              samples, frames / seconds, frames, seconds);
  std::fflush(stdout);
}

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_scenes WIDTH HEIGHT SAMPLES [SECONDS_PER_SCENE [SCENE]]\n");
    return 2;
  }
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), samples = std::atoi(argv[3]);
  const double seconds = argc > 4 ? std::atof(argv[4]) : 4.0;
  const int only = argc > 5 ? std::atoi(argv[5]) : -1;
  if (!open_scene_window(width, height, samples)) {
    std::fprintf(stderr, "no GL window of %dx%d with %d samples\n", width, height, samples);
    return 1;
  }
  if (only < 0) {
    const double begin = glfwGetTime();
    int frames = 0;
    double now = begin;
    while (now - begin < seconds) {
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
      glFinish();
      swap_scene_window();
      ++frames;
      now = glfwGetTime();
    }
    report("clear+swap", width, height, samples, frames, now - begin);
  }
  const char* names[] = {"boot", "welcome", "reflection", "programme", "wave", "greetings", "street", "credits"};
  // Seconds into the show where each scene begins: the music starts at 4.017 s, a position lasts 4.615 s.
  const double entries[] = {0, 4.017, 13.248, 31.710, 40.941, 59.402, 77.864, 96.325};
  for (int state = 0; state < 8; ++state) {
    if (only >= 0 && state != only) continue;
    const double begin = glfwGetTime();
    start_scene_at(state, static_cast<float>(entries[state]));
    if (state % 2 == 1) text_screen.typed = static_cast<uint32_t>(text_screen.length);
    int frames = 0;
    double now = begin;
    while (now - begin < seconds) {
      draw_scene_at(state, static_cast<float>(entries[state] + (now - begin)));
      swap_scene_window();
      ++frames;
      now = glfwGetTime();
    }
    report(names[state], width, height, samples, frames, now - begin);
  }
  close_scene_window();
  return 0;
}
