// The intro with a reporting hook, for the whole-show test and the
// benchmarks: the same start-up and main loop, plus, when the process ends,
// one line per scene entered (time, music position, frames shown), the
// audio stream's counts and the times of its later underflows on standard error.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "audio_output.h"
#include "show_state.h"
#include "startup.h"

namespace {

struct SceneVisit {
  int32_t state;
  double begun;    // CLOCK_MONOTONIC as its first frame began, comparable with the test's clock
  double entered;  // as its first frame was shown
  double left;     // as its last frame was shown
  uint32_t frames;
  uint8_t position, row;  // the music sample of its first frame
};

constexpr int MAX_VISITS = 64;
SceneVisit visits[MAX_VISITS];
int visit_count = 0;
double frame_begun = 0;  // the previous frame's end is where this one begins

double monotonic_seconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void after_frame() {
  const double now = monotonic_seconds();
  SceneVisit* last = visit_count ? &visits[visit_count - 1] : nullptr;
  if (!last || last->state != previous_scene_state) {
    if (visit_count == MAX_VISITS) return;
    last = &visits[visit_count++];
    *last = {previous_scene_state, frame_begun, now, now, 0, music_position, music_row};
  }
  frame_begun = now;
  last->left = now;
  last->frames++;
}

void report() {
  for (int i = 0; i < visit_count; i++) {
    const SceneVisit& v = visits[i];
    std::fprintf(stderr, "scene %d begun %.4f entered %.4f left %.4f frames %u position %u row %u\n",
                 v.state, v.begun, v.entered, v.left, v.frames, v.position, v.row);
  }
  const AudioOutputCounts counts = audio_output_counts();
  std::fprintf(stderr, "audio frames %llu underflows %u after_start %u latency_us %u\n",
               static_cast<unsigned long long>(counts.frames_rendered), counts.underflows,
               counts.underflows_after_start, counts.target_latency_usec);
  double times[MAX_UNDERFLOW_TIMES];
  const uint32_t known = audio_output_underflow_times(times, MAX_UNDERFLOW_TIMES);
  for (uint32_t i = 0; i < known; i++) std::fprintf(stderr, "underflow at %.4f\n", times[i]);
}

}  // namespace

int main() {
  start_up();
  std::atexit(report);
  run_main_loop(after_frame);
}
