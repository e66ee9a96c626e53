// Replays the frames a live intro_probe logged (INTRO_PROBE_FRAMES) through
// the offline capture's context and compares each frame the probe kept,
// pixel for pixel, at the samples the live window had (FOLDER/samples).
// Usage: replay_probe_frames FOLDER
// Prints one line per kept frame (differing pixels, largest channel
// difference) and exits 0 only when every kept frame is identical.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "offscreen_gl.h"
#include "picture_files.h"
#include "show_capture.h"
#include "timeline.h"

namespace {

bool read_ppm(const std::string& path, Picture& picture) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  int width = 0, height = 0, maximum = 0;
  const bool header = std::fscanf(file, "P6 %d %d %d", &width, &height, &maximum) == 3 && std::fgetc(file) != EOF;
  picture.width = width;
  picture.height = height;
  picture.rgb.resize(size_t(width) * size_t(height) * 3);
  const bool body = header && std::fread(picture.rgb.data(), 1, picture.rgb.size(), file) == picture.rgb.size();
  std::fclose(file);
  return body && maximum == 255;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: replay_probe_frames FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  // The live window's samples, as the probe found them; 4, as the intro asks, where it did not say.
  int samples = 4;
  if (std::FILE* file = std::fopen((folder + "/samples").c_str(), "r")) {
    if (std::fscanf(file, "%d", &samples) != 1 || samples < 1) samples = 4;
    std::fclose(file);
  }
  std::FILE* log = std::fopen((folder + "/inputs.txt").c_str(), "r");
  if (!log) {
    std::fprintf(stderr, "no %s/inputs.txt\n", folder.c_str());
    return 2;
  }
  struct Logged {
    uint64_t index;
    FrameInputs inputs;
    bool kept;
  };
  std::vector<Logged> frames;
  unsigned long long index = 0;
  double clock = 0;
  int published = 0, playing = 0, kept = 0, scene = 0;
  unsigned position = 0, row = 0;
  while (std::fscanf(log, "%llu %lf %d %d %u %u %d %d", &index, &clock, &published, &playing, &position, &row, &kept,
                     &scene) == 8)
    frames.push_back({index, {float(clock), published != 0, playing != 0, uint16_t(position), uint8_t(row)}, kept != 0});
  std::fclose(log);

  Picture first;
  int width = 0, height = 0;
  for (const Logged& frame : frames)
    if (frame.kept && read_ppm(folder + "/frame_" + std::to_string(frame.index) + ".ppm", first)) {
      width = first.width;
      height = first.height;
      break;
    }
  if (!width) {
    std::fprintf(stderr, "no kept frame in %s\n", folder.c_str());
    return 2;
  }
  OffscreenTarget target;
  std::string error;
  ShowCapture capture;
  if (!open_offscreen(width, height, samples, target, error) || !open_show_capture(capture, width, height, 60)) {
    std::fprintf(stderr, "no capture: %s\n", error.c_str());
    return 2;
  }
  std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
  int compared = 0, differing = 0;
  size_t last_kept = 0;
  for (size_t i = 0; i < frames.size(); ++i)
    if (frames[i].kept) last_kept = i;
  frames.resize(last_kept + 1);  // nothing after the last kept frame is compared
  for (const Logged& frame : frames) {
    render_frame(frame.inputs);
    if (!frame.kept) continue;
    Picture live;
    if (!read_ppm(folder + "/frame_" + std::to_string(frame.index) + ".ppm", live)) continue;
    if (!read_offscreen(target, rgba.data(), error)) {
      std::fprintf(stderr, "replay_probe_frames: frame %lld: %s\n", (long long)frame.index, error.c_str());
      return 1;
    }
    const Picture offline = picture_from_frame(rgba.data(), width, height);
    uint64_t pixels = 0;
    int largest = 0;
    for (size_t i = 0; i < live.rgb.size(); i += 3) {
      int worst = 0;
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(live.rgb[i + c]) - int(offline.rgb[i + c])));
      pixels += worst > 0;
      largest = std::max(largest, worst);
    }
    std::printf("frame %" PRIu64 " clock %.4f music %u/%u: %" PRIu64 " pixels differ, largest difference %d\n",
                frame.index, double(frame.inputs.clock), unsigned(frame.inputs.order_position),
                unsigned(frame.inputs.row), pixels, largest);
    if (pixels) {
      std::string why;
      write_png(offline, folder + "/replayed_" + std::to_string(frame.index) + ".png", why);
      ++differing;
    }
    ++compared;
  }
  std::printf("%d kept frames compared at %d samples, %d differ\n", compared, samples, differing);
  return compared > 0 && differing == 0 ? 0 : 1;
}
