// The offline renderer: loads a module file with the intro's own loader and
// renders it with the same replayer and mixer into a 48 kHz stereo float WAV,
// so that tests, benchmarks and people can listen to the music.
//
//   render_module MODULE OUTPUT.wav [--seconds S | --until ORDER ROW] [--rows]
//                 [--solo LIST] [--mute LIST]
//   render_module --version
//
// --seconds renders S seconds (default 60); --until stops just before row
// ROW of order position ORDER is read (at most an hour); --rows prints one
// line per row read: time in seconds, order position, row, tempo and bpm.
// --solo plays only the listed channels, --mute leaves them out (both may
// be given); a LIST such as 1,3,5-7 counts channels from 1, as trackers
// show them.  Left-out channels still run, so the timing stays the same.
#include "file_bytes.h"
#include "load_module.h"
#include "render_song.h"

#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t frames_per_second = OUTPUT_RATE;
constexpr uint32_t longest_render = 3600 * frames_per_second;

struct Options {
  const char* module_path = nullptr;
  const char* output_path = nullptr;
  double seconds = 60;
  bool until = false;
  uint32_t until_order = 0, until_row = 0;
  bool print_rows = false;
  std::bitset<MAX_XM_CHANNELS> soloed, muted;
};

int usage() {
  std::fprintf(stderr,
               "usage: render_module MODULE OUTPUT.wav [--seconds S | --until ORDER ROW] [--rows]\n"
               "                     [--solo LIST] [--mute LIST]   (LIST: channels from 1, e.g. 1,3,5-7)\n");
  return 2;
}

bool parse_number(const char* text, double& value) {
  char* end;
  value = std::strtod(text, &end);
  return *text && !*end && value >= 0;
}

// "1,3,5-7" into the channels' bits (channel 1 is bit 0).
bool parse_channels(const char* text, std::bitset<MAX_XM_CHANNELS>& channels) {
  while (true) {
    char* end;
    const long first = std::strtol(text, &end, 10);
    long last = first;
    if (end == text || *text == '-' || *text == '+') return false;
    if (*end == '-') {
      text = end + 1;
      last = std::strtol(text, &end, 10);
      if (end == text || *text == '-' || *text == '+') return false;
    }
    if (first < 1 || last < first || last > long(MAX_XM_CHANNELS)) return false;
    for (long c = first; c <= last; c++) channels.set(size_t(c - 1));
    if (*end == '\0') return true;
    if (*end != ',') return false;
    text = end + 1;
  }
}

bool parse_options(int argc, char** argv, Options& options) {
  int positional = 0;
  for (int i = 1; i < argc; i++) {
    double a, b;
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc && parse_number(argv[i + 1], a) &&
        a * frames_per_second <= longest_render) {
      options.seconds = a;
      i++;
    } else if (!std::strcmp(argv[i], "--until") && i + 2 < argc && parse_number(argv[i + 1], a) &&
               parse_number(argv[i + 2], b) && a < 256 && b < 256) {
      options.until = true;
      options.until_order = uint32_t(a);
      options.until_row = uint32_t(b);
      i += 2;
    } else if (!std::strcmp(argv[i], "--solo") && i + 1 < argc &&
               parse_channels(argv[i + 1], options.soloed)) {
      i++;
    } else if (!std::strcmp(argv[i], "--mute") && i + 1 < argc &&
               parse_channels(argv[i + 1], options.muted)) {
      i++;
    } else if (!std::strcmp(argv[i], "--rows")) {
      options.print_rows = true;
    } else if (argv[i][0] != '-' && positional < 2) {
      (positional++ ? options.output_path : options.module_path) = argv[i];
    } else {
      return false;
    }
  }
  return positional == 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && !std::strcmp(argv[1], "--version")) {
    std::printf("render_module %s\n", INTRO_VERSION);
    return 0;
  }
  Options options;
  if (!parse_options(argc, argv, options)) return usage();
  std::vector<uint8_t> module;
  if (!read_file(options.module_path, module)) {
    std::fprintf(stderr, "render_module: cannot read %s\n", options.module_path);
    return 1;
  }
  ModuleContext* song = prepare_module(module.data(), uint32_t(module.size()));
  if (!song) {
    std::fprintf(stderr, "render_module: %s is not a module that can be played\n",
                 options.module_path);
    return 1;
  }
  const std::bitset<MAX_XM_CHANNELS> named = options.soloed | options.muted;
  for (uint32_t c = song->channel_count; c < MAX_XM_CHANNELS; c++) {
    if (named[c]) {
      std::fprintf(stderr, "render_module: %s has %u channels, not %u\n", options.module_path,
                   unsigned(song->channel_count), c + 1);
      std::free(song);
      return 2;
    }
  }
  WavFile wav;
  if (!wav_open(wav, options.output_path)) {
    std::fprintf(stderr, "render_module: cannot create %s\n", options.output_path);
    std::free(song);
    return 1;
  }

  RenderRequest request{};
  request.frame_limit =
      options.until ? longest_render : uint32_t(options.seconds * frames_per_second + 0.5);
  request.stop_at_row = options.until;
  request.stop_order_position = uint16_t(options.until_order);
  request.stop_row = uint8_t(options.until_row);
  request.row_log = options.print_rows ? stdout : nullptr;
  request.muted = options.muted;
  if (options.soloed.any()) request.muted |= ~options.soloed;
  const RenderOutcome outcome = render_song(*song, wav, request);
  const bool ok = wav_close(wav) && outcome.written;
  std::free(song);
  if (!ok) {
    std::fprintf(stderr, "render_module: cannot write %s\n", options.output_path);
    return 1;
  }
  if (options.until && !outcome.stopped_at_row) {
    std::fprintf(stderr, "render_module: order %u row %u not reached within an hour\n",
                 options.until_order, options.until_row);
    return 3;
  }
  return 0;
}
