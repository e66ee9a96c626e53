// Where a capture's time goes: the show run through the offline capture at
// a given size and rate, each frame finished before the next (glFinish), with
// the drawing and the read-back timed apart per scene, and the read-back
// frames fed to the video encoder as capture_show does, timed as a whole.
// Usage: bench_capture WIDTH HEIGHT [FPS [OUTPUT.mp4]]
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "offscreen_gl.h"
#include "scenes.h"
#include "show_capture.h"
#include "show_state.h"
#include "video_encoder.h"

namespace {

double seconds_now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

struct SceneTimes {
  int frames = 0;
  double drawing = 0, reading = 0, queueing = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_capture WIDTH HEIGHT [FPS [OUTPUT.mp4]]\n");
    return 2;
  }
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
  const int fps = argc > 3 ? std::atoi(argv[3]) : 60;
  const std::string output = argc > 4 ? argv[4] : "/tmp/bench_capture.mp4";
  OffscreenTarget target;
  std::string error;
  ShowCapture capture;
  if (!open_offscreen(width, height, 4, target, error) || !open_show_capture(capture, width, height, fps)) {
    std::fprintf(stderr, "no capture: %s\n", error.c_str());
    return 1;
  }
  VideoEncoder* encoder = open_video_encoder(output.c_str(), {width, height, fps, false}, error);
  if (!encoder) {
    std::fprintf(stderr, "no encoder: %s\n", error.c_str());
    return 1;
  }
  std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
  SceneTimes times[SCENE_COUNT];
  const double began = seconds_now();
  while (!capture.over) {
    const double t0 = seconds_now();
    capture_next_frame(capture);
    if (capture.over) break;
    glFinish();
    const double t1 = seconds_now();
    if (!read_offscreen(target, rgba.data(), error)) {
      std::fprintf(stderr, "bench_capture: %s\n", error.c_str());
      return 1;
    }
    const double t2 = seconds_now();
    encode_frame(encoder, rgba.data(), capture.audio.data(), uint32_t(capture.audio.size() / 2));
    const double t3 = seconds_now();
    SceneTimes& scene = times[previous_scene_state];
    scene.frames++;
    scene.drawing += t1 - t0;
    scene.reading += t2 - t1;
    scene.queueing += t3 - t2;
  }
  const double rendered = seconds_now();
  if (!finish_video(encoder, {}, error)) std::fprintf(stderr, "encoder: %s\n", error.c_str());
  const double finished = seconds_now();
  std::printf("%dx%d at %d fps on %s\n", width, height, fps, target.renderer.c_str());
  std::printf("%-13s %6s %12s %12s %14s\n", "scene", "frames", "draw ms", "read ms", "encoder wait");
  for (int i = 0; i < SCENE_COUNT; ++i) {
    const SceneTimes& s = times[i];
    if (!s.frames) continue;
    std::printf("%-13s %6d %12.2f %12.2f %14.2f   (drawing alone %.1f fps)\n", scenes[i].name, s.frames,
                1e3 * s.drawing / s.frames, 1e3 * s.reading / s.frames, 1e3 * s.queueing / s.frames,
                s.frames / s.drawing);
  }
  std::printf("whole: %lld frames in %.1f s (%.1f fps), the encoder's tail %.1f s\n", (long long)capture.frame,
              finished - began, capture.frame / (finished - began), finished - rendered);
  return 0;
}
