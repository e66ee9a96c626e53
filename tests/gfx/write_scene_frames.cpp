// Draws frames of every scene at chosen show times and writes them as PPM
// files, for the screenshot recognisers' tests and for looking at.
// Usage: write_scene_frames OUT_FOLDER [WIDTH HEIGHT]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scene_window.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: write_scene_frames OUT_FOLDER [WIDTH HEIGHT]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int width = argc > 3 ? std::atoi(argv[2]) : 854;
  const int height = argc > 3 ? std::atoi(argv[3]) : 480;
  if (!open_scene_window(width, height, 4)) {
    std::fprintf(stderr, "no GL window\n");
    return 1;
  }
  struct Shot {
    const char* name;
    int state;
    float start, now;
  };
  // Scene times spread over each scene's motion: rising and falling cube,
  // the camera round the grid, the logo far off and close by.
  const Shot shots[] = {
      {"reflection_0", 2, 10, 10.3f},  {"reflection_1", 2, 10, 11.6f}, {"reflection_2", 2, 10, 14.0f},
      {"reflection_3", 2, 10, 22.0f},  {"wave_0", 4, 40, 40.5f},       {"wave_1", 4, 40, 44.0f},
      {"wave_2", 4, 40, 50.0f},        {"wave_3", 4, 40, 57.0f},       {"street_0", 6, 70, 70.4f},
      {"street_1", 6, 70, 72.5f},      {"street_2", 6, 70, 74.2f},     {"street_3", 6, 70, 76.0f},
  };
  for (const Shot& shot : shots) {
    start_scene_at(shot.state, shot.start);
    draw_scene_at(shot.state, shot.now);
    const std::string path = folder + "/" + shot.name + ".ppm";
    if (!write_ppm(read_picture(), path.c_str())) return 1;
  }
  // A text screen typed out in full, as the recognisers must reject it.
  for (int state : {1, 5}) {
    start_scene_at(state, 30);
    for (int frame = 1; frame <= 500; ++frame) draw_scene_at(state, 30 + 0.03f * frame);
    const std::string path = folder + "/text_" + std::to_string(state) + ".ppm";
    if (!write_ppm(read_picture(), path.c_str())) return 1;
  }
  close_scene_window();
  return 0;
}
