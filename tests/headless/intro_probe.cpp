// The intro watched from outside, for the whole-show test and the
// benchmarks: the same start-up and main loop, whose calls to render_frame
// and glfwSwapBuffers the linker routes through here (--wrap, named in
// CMakeLists.txt), so that the show keeps no test seam; when the process ends,
// one line per scene entered (time, music position, frames shown), the
// moment the show ended by itself, the audio stream's counts and the times
// of its later underflows on standard error; a scene's line ends with its name.  INTRO_PROBE_FPS=N holds each
// frame to at least 1/N s, as a slow machine would.  With INTRO_PROBE_FRAMES=DIR it
// also logs every frame's inputs to DIR/inputs.txt (index, clock, published,
// playing, order position, row, kept, scene drawn) and keeps one drawn frame
// of each scene visit, 2.5 s in, as DIR/frame_<index>.ppm, and the window's
// samples as DIR/samples, so that the capture can draw the same frames from
// the same inputs.
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "fade_overlay.h"
#include "scenes.h"
#include "show_state.h"
#include "startup.h"
#include "stream_watch.h"
#include "timeline.h"

struct GLFWwindow;

namespace {

struct SceneVisit {
  int32_t state;
  double begun;    // CLOCK_MONOTONIC as its first frame began, comparable with the test's clock
  double entered;  // as its first frame was shown
  double left;     // as its last frame was shown
  uint32_t frames;
  uint8_t position, row;  // the music sample of its first frame
  uint32_t fade_frames;   // frames shown under a fade to white
};

constexpr int MAX_VISITS = 64;
SceneVisit visits[MAX_VISITS];
int visit_count = 0;
double frame_begun = 0;  // the previous frame's end is where this one begins
double show_over_at = 0;
double frame_period = 0;    // INTRO_PROBE_FPS's hold; 0: none
bool fading_frame = false;  // the frame being shown fades to white

// Frame keeping for the capture comparison.
constexpr float KEEP_AFTER = 2.5f;  // seconds into a scene visit: past its flash, before its fade
std::string frames_folder;
std::FILE* inputs_log = nullptr;
uint64_t frame_index = 0;
int32_t kept_visit_state = -1;
float visit_clock = 0;
bool visit_kept = false;
std::vector<uint8_t> pixels;

double monotonic_seconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void keep_frame(uint64_t index) {
  if (pixels.empty()) {
    // The samples the window really has (a server may offer none), for the capture to draw with.
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    if (std::FILE* file = std::fopen((frames_folder + "/samples").c_str(), "w")) {
      std::fprintf(file, "%d\n", samples > 1 ? int(samples) : 1);
      std::fclose(file);
    }
  }
  pixels.resize(size_t(screen_width) * size_t(screen_height) * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, screen_width, screen_height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  const std::string path = frames_folder + "/frame_" + std::to_string(index) + ".ppm";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  std::fprintf(file, "P6\n%d %d\n255\n", screen_width, screen_height);
  const size_t row_bytes = size_t(screen_width) * 3;
  for (int32_t y = screen_height - 1; y >= 0; --y) std::fwrite(&pixels[size_t(y) * row_bytes], 1, row_bytes, file);
  std::fclose(file);
}

// A drawn frame, not yet shown.
void frame_drawn(const FrameInputs& inputs, const FrameOutcome& outcome) {
  fading_frame = outcome.drawn && fade_state.active && fade_state.hold;
  if (!inputs_log) return;
  const uint64_t index = frame_index++;
  // A new visit starts on the frame that started a scene.
  if (previous_scene_state != kept_visit_state) {
    kept_visit_state = previous_scene_state;
    visit_clock = inputs.clock;
    visit_kept = false;
  }
  const bool keep = !visit_kept && outcome.drawn && inputs.clock - visit_clock >= KEEP_AFTER;
  std::fprintf(inputs_log, "%llu %a %d %d %u %u %d %d\n", static_cast<unsigned long long>(index),
               double(inputs.clock), int(inputs.song_published), int(inputs.music_playing),
               unsigned(inputs.order_position), unsigned(inputs.row), int(keep), int(previous_scene_state));
  if (keep) {
    keep_frame(index);
    visit_kept = true;
  }
}

// Just after the swap.
void frame_shown() {
  if (frame_period > 0) {
    const double until = frame_begun + frame_period;
    const timespec wake = {time_t(until), long((until - double(time_t(until))) * 1e9)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) != 0) {
    }
  }
  const double now = monotonic_seconds();
  SceneVisit* last = visit_count ? &visits[visit_count - 1] : nullptr;
  if (!last || last->state != previous_scene_state) {
    if (visit_count == MAX_VISITS) return;
    last = &visits[visit_count++];
    *last = {previous_scene_state, frame_begun, now, now, 0, music_position, music_row, 0};
  }
  last->fade_frames += fading_frame;
  frame_begun = now;
  last->left = now;
  last->frames++;
}

void report() {
  if (inputs_log) std::fclose(inputs_log);
  for (int i = 0; i < visit_count; i++) {
    const SceneVisit& v = visits[i];
    std::fprintf(stderr, "scene %d begun %.4f entered %.4f left %.4f frames %u position %u row %u fading %u %s\n",
                 v.state, v.begun, v.entered, v.left, v.frames, v.position, v.row, v.fade_frames,
                 scene_of(v.state)->name);
  }
  // The frame that sampled the last row began where the last shown frame ended.
  if (show_over_at > 0) std::fprintf(stderr, "show over at %.4f\n", show_over_at);
  print_stream_report(stderr);
}

}  // namespace

// render_frame(const FrameInputs&), by its mangled name: the main loop's call reaches the real one through here.
extern "C" FrameOutcome __real__Z12render_frameRK11FrameInputs(const FrameInputs& inputs);
extern "C" FrameOutcome __wrap__Z12render_frameRK11FrameInputs(const FrameInputs& inputs) {
  const FrameOutcome outcome = __real__Z12render_frameRK11FrameInputs(inputs);
  // The show ended by itself: the loop exits without showing this frame.
  if (outcome.show_over) show_over_at = frame_begun;
  else frame_drawn(inputs, outcome);
  return outcome;
}

extern "C" void __real_glfwSwapBuffers(GLFWwindow* window);
extern "C" void __wrap_glfwSwapBuffers(GLFWwindow* window) {
  __real_glfwSwapBuffers(window);
  frame_shown();
}

int main() {
  if (const char* folder = std::getenv("INTRO_PROBE_FRAMES")) {
    frames_folder = folder;
    inputs_log = std::fopen((frames_folder + "/inputs.txt").c_str(), "w");
  }
  if (const char* fps = std::getenv("INTRO_PROBE_FPS")) frame_period = 1.0 / std::atof(fps);
  start_up();
  std::atexit(report);
  run_main_loop();
}
