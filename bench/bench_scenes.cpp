// Frames per second of every scene as the show draws it: a window of the
// given size and sample count, each scene started at the show time the show
// enters it (cameras and waves move with the show clock, so every build
// draws the same frames) and then drawn and swapped for a few seconds of
// show time that follows the wall clock.  Text screens are measured fully
// typed, as they stand for most of their time.
// The first line is the floor under them all: clearing and swapping alone.
// Each line begins with the scene's name.
// Usage: bench_scenes WIDTH HEIGHT SAMPLES [SECONDS_PER_SCENE [SCENE]]  (SCENE 0 to 7: that one alone, for profiling)
#include <GL/gl.h>
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>

#include "embedded_assets.h"
#include "load_module.h"
#include "replayer.h"
#include "scene_window.h"
#include "scenes.h"
#include "text_screen.h"
#include "published_song.h"

// The music starts with the welcome screen, at the boot console's end at 60 frames per second.
constexpr double MUSIC_START = 4.017;

// Seconds into the show where each scene begins: where the replayer, playing
// the embedded song from the music's start, arrives at the scene's first position.
static void scene_entry_times(double entries[SCENE_COUNT]) {
  ModuleContext* song = prepare_module(asset_song_xm, static_cast<uint32_t>(asset_song_xm_size));
  entries[0] = 0;
  float frame[2];
  int64_t played = 0;
  for (int32_t state = 1; state < SCENE_COUNT; ++state) {
    while (song && song_position(*song).order_position != scene_first_position(state) && played < 600 * OUTPUT_RATE) {
      render_frames(*song, frame, 1);
      ++played;
    }
    entries[state] = MUSIC_START + double(played) / OUTPUT_RATE;
  }
  std::free(song);
}

static void report(const char* name, int width, int height, int samples, int frames, double seconds) {
  std::printf("%-12s %4dx%-4d %d samples: %6.1f frames per second (%d frames in %.1f s)\n", name, width, height,
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
  double entries[SCENE_COUNT];
  scene_entry_times(entries);
  for (int32_t state = 0; state < SCENE_COUNT; ++state) {
    if (only >= 0 && state != only) continue;
    const double begin = glfwGetTime();
    start_scene_at(state, static_cast<float>(entries[state]));
    if (scenes[state].kind == SceneKind::TEXT_SCREEN) text_screen.typed = static_cast<uint32_t>(text_screen.length);
    int frames = 0;
    double now = begin;
    while (now - begin < seconds) {
      draw_scene_at(state, static_cast<float>(entries[state] + (now - begin)));
      swap_scene_window();
      ++frames;
      now = glfwGetTime();
    }
    report(scenes[state].name, width, height, samples, frames, now - begin);
  }
  close_scene_window();
  return 0;
}
