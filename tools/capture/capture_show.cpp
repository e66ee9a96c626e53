// capture_show: the whole show rendered offscreen, frame-exact, with no
// display or sound server: a video with the music muxed sample-exact and a
// chapter for each scene, PNG stills at chosen times, or a contact sheet of
// every scene.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "contact_sheet.h"
#include "fade_overlay.h"
#include "offscreen_gl.h"
#include "picture_files.h"
#include "show_capture.h"
#include "show_state.h"
#include "video_encoder.h"

namespace {

const char usage[] =
    "usage: capture_show [options] OUTPUT.mp4|OUTPUT.mkv\n"
    "       capture_show [options] --stills T1,T2,... DIRECTORY\n"
    "       capture_show [options] --contact-sheet OUTPUT.png\n"
    "\n"
    "Renders the show offscreen, frame by frame at a fixed rate, with no display\n"
    "or sound server; frame n shows the show at n / fps seconds.\n"
    "\n"
    "  OUTPUT.mp4          H.264 (yuv420p) and AAC 48 kHz stereo in MP4, a chapter for each scene\n"
    "  --lossless          FFV1 (RGB, every pixel exact) and FLAC (24 bit) in Matroska: OUTPUT.mkv\n"
    "  --stills T1,T2,...  a PNG of the frame at each time (seconds from the start) into DIRECTORY\n"
    "  --contact-sheet F   one PNG with a frame from the middle of each scene, labelled\n"
    "  --size WxH          picture size (default 1920x1080)\n"
    "  --fps N             frames per second, 24 to 240 (default 60)\n"
    "  --samples N         multisampling, 1 to 16 (default 4, as the intro)\n"
    "  --from S, --to S    a clip of the video from S to S seconds\n"
    "  --chapters F.vtt    the video's chapters also as a WebVTT file (times from the video's start)\n"
    "  --version           the version of the intro this captures\n"
    "  --help              this text\n";

// The show lasts under two minutes; a capture that never ends has gone wrong.
constexpr double LONGEST_SHOW = 600.0;

enum class Output { VIDEO, STILLS, CONTACT_SHEET };

// Ctrl-C or a kill ends the capture cleanly: no partial output stays behind.
volatile std::sig_atomic_t interrupted = 0;
void interrupt(int) { interrupted = 1; }

struct Options {
  Output output = Output::VIDEO;
  std::string target;
  std::string chapters;  // the WebVTT file, when asked for
  int32_t width = 1920, height = 1080, fps = 60, samples = 4;
  bool lossless = false;
  double from = 0, to = -1;
  std::vector<double> stills;
};

bool fail(const std::string& message) {
  std::fprintf(stderr, "capture_show: %s\n", message.c_str());
  return false;
}

bool parse_number(const char* text, double low, double high, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value) && value >= low && value <= high;
}

bool parse_integer(const char* text, int32_t low, int32_t high, int32_t& value) {
  double number = 0;
  if (!parse_number(text, low, high, number) || number != std::floor(number)) return false;
  value = int32_t(number);
  return true;
}

bool ends_with(const std::string& text, const char* tail) {
  const size_t length = std::strlen(tail);
  return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

// False with a message on a bad command line; `help` set for --help,
// `version` for --version.
bool parse_options(int argc, char** argv, Options& options, bool& help, bool& version) {
  bool stills = false, sheet = false, clip = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    const bool takes_value = option == "--size" || option == "--fps" || option == "--samples" || option == "--from" ||
                             option == "--to" || option == "--stills" || option == "--contact-sheet" ||
                             option == "--chapters";
    if (takes_value && !value) return fail(option + " needs a value");
    if (option == "--help" || option == "-h") {
      help = true;
      return true;
    } else if (option == "--version") {
      version = true;
      return true;
    } else if (option == "--lossless") {
      options.lossless = true;
    } else if (option == "--size") {
      int w = 0, h = 0;
      char extra = 0;
      if (std::sscanf(value, "%dx%d%c", &w, &h, &extra) != 2 || w < 16 || h < 16 || w > 16384 || h > 16384)
        return fail(std::string("--size wants WIDTHxHEIGHT, each 16 to 16384, not ") + value);
      options.width = w;
      options.height = h;
    } else if (option == "--fps") {
      if (!parse_integer(value, 24, 240, options.fps)) return fail(std::string("--fps wants 24 to 240, not ") + value);
    } else if (option == "--samples") {
      if (!parse_integer(value, 1, 16, options.samples)) return fail(std::string("--samples wants 1 to 16, not ") + value);
    } else if (option == "--from" || option == "--to") {
      double seconds = 0;
      if (!parse_number(value, 0, LONGEST_SHOW, seconds)) return fail(option + " wants seconds from the start, not " + value);
      (option == "--from" ? options.from : options.to) = seconds;
      clip = true;
    } else if (option == "--stills") {
      stills = true;
      options.output = Output::STILLS;
      std::string list = value;
      for (size_t start = 0; start <= list.size();) {
        const size_t comma = std::min(list.find(',', start), list.size());
        double seconds = 0;
        if (!parse_number(list.substr(start, comma - start).c_str(), 0, LONGEST_SHOW, seconds))
          return fail("--stills wants times in seconds separated by commas, not " + list);
        options.stills.push_back(seconds);
        start = comma + 1;
      }
    } else if (option == "--chapters") {
      if (!ends_with(value, ".vtt")) return fail(std::string("the chapters file is WebVTT: name it .vtt, not ") + value);
      options.chapters = value;
    } else if (option == "--contact-sheet") {
      sheet = true;
      options.output = Output::CONTACT_SHEET;
      options.target = value;
    } else if (!option.empty() && option[0] == '-') {
      return fail("unknown option " + option + " (see --help)");
    } else {
      if (!options.target.empty() && !sheet) return fail("one output only (see --help)");
      if (sheet) return fail("--contact-sheet names its own output; " + option + " is one too many");
      options.target = option;
      continue;
    }
    if (takes_value) ++i;
  }
  if (stills && sheet) return fail("--stills and --contact-sheet are two captures: run them one at a time");
  if (options.target.empty()) return fail("no output named (see --help)");
  if (options.output != Output::VIDEO && (clip || options.lossless || !options.chapters.empty()))
    return fail("--from, --to, --lossless and --chapters are for a video");
  if (options.output == Output::CONTACT_SHEET && !ends_with(options.target, ".png"))
    return fail("the contact sheet is a PNG: name it .png");
  if (options.output == Output::VIDEO) {
    if (options.lossless && !ends_with(options.target, ".mkv"))
      return fail("--lossless writes Matroska: name the output .mkv");
    if (!options.lossless && !ends_with(options.target, ".mp4"))
      return fail("the video is MP4: name the output .mp4 (or use --lossless for .mkv)");
    if (options.width % 2 || options.height % 2) return fail("a video needs an even width and height");
    if (options.to >= 0 && options.to <= options.from) return fail("--to must come after --from");
  }
  return true;
}

// The frame shown at `seconds`: the one whose interval holds it.
int64_t frame_at(double seconds, int32_t fps) { return int64_t(std::floor(seconds * fps + 1e-6)); }

std::string still_name(const std::string& folder, double seconds) {
  char name[64];
  std::snprintf(name, sizeof name, "/still_%08.3f.png", seconds);
  return folder + name;
}

struct Progress {
  bool shown;
  std::chrono::steady_clock::time_point began;
  int64_t last_second;
};

double seconds_since(std::chrono::steady_clock::time_point began) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
}

// Frames done, their rate and the time left, on one line of the terminal.
void show_progress(Progress& progress, int64_t done, int64_t expected) {
  if (!progress.shown) return;
  const double elapsed = seconds_since(progress.began);
  if (int64_t(elapsed) == progress.last_second) return;
  progress.last_second = int64_t(elapsed);
  const double rate = done / std::max(elapsed, 1e-3);
  const double left = std::max<int64_t>(expected - done, 0) / std::max(rate, 1e-3);
  std::fprintf(stderr, "\rframe %lld of about %lld, %.1f frames per second, %d:%02d left   ", (long long)done,
               (long long)expected, rate, int(left) / 60, int(left) % 60);
  std::fflush(stderr);
}

int run(const Options& options) {
  // Before anything is made on disk, so that no moment leaves a partial file.
  std::signal(SIGINT, interrupt);
  std::signal(SIGTERM, interrupt);
  std::string error;
  VideoEncoder* encoder = nullptr;
  if (options.output == Output::STILLS && !prepare_folder(options.target, error)) return fail(error), 1;
  if (options.output == Output::CONTACT_SHEET && !check_writable_beside(options.target, error)) return fail(error), 1;
  if (!options.chapters.empty() && !check_writable_beside(options.chapters, error)) return fail(error), 1;

  OffscreenTarget target;
  if (!open_offscreen(options.width, options.height, options.samples, target, error)) return fail(error), 1;
  ShowCapture capture;
  if (!open_show_capture(capture, options.width, options.height, options.fps)) return fail("the show's song does not load"), 1;
  if (options.output == Output::VIDEO) {
    encoder = open_video_encoder(options.target.c_str(), {options.width, options.height, options.fps, options.lossless}, error);
    if (!encoder) return fail(error), 1;
  }

  const int64_t first = options.output == Output::VIDEO ? frame_at(options.from, options.fps) : 0;
  int64_t end = frame_at(LONGEST_SHOW, options.fps);
  if (options.output == Output::VIDEO && options.to >= 0) end = int64_t(std::ceil(options.to * options.fps - 1e-6));
  if (options.output == Output::STILLS) {
    end = 0;
    for (double seconds : options.stills) end = std::max(end, frame_at(seconds, options.fps) + 1);
  }
  // About four seconds of boot console and the song's first pass, for the progress line.
  const int64_t expected = std::min<int64_t>(end, int64_t(105.5 * options.fps)) - first;
  Progress progress = {isatty(STDERR_FILENO) != 0, std::chrono::steady_clock::now(), -1};
  ContactSheet sheet = make_contact_sheet(options.width, options.fps);
  std::vector<uint8_t> frame(size_t(options.width) * size_t(options.height) * 4);
  std::vector<Chapter> chapters;
  int64_t written = 0;
  std::vector<std::string> stills_written;
  bool ok = true, encoding_failed = false;

  while (ok && capture.frame < end) {
    if (interrupted) {
      ok = fail("interrupted");
      break;
    }
    const int64_t n = capture.frame;
    capture_next_frame(capture);
    if (capture.over) break;
    if (options.output == Output::VIDEO && n >= first) {
      if (!read_offscreen(target, frame.data(), error)) {
        ok = fail("frame " + std::to_string(n) + ": " + error);
        break;
      }
      encoding_failed = !encode_frame(encoder, frame.data(), capture.audio.data(), uint32_t(capture.audio.size() / 2));
      if (encoding_failed) {
        ok = false;
        break;
      }
      note_chapter(chapters, written, shown_scene()->name);
      ++written;
    } else if (options.output == Output::STILLS) {
      bool wanted = false;
      for (double seconds : options.stills) wanted |= frame_at(seconds, options.fps) == n;
      if (wanted && !read_offscreen(target, frame.data(), error)) {
        ok = fail("frame " + std::to_string(n) + ": " + error);
      } else if (wanted) {
        const Picture picture = picture_from_frame(frame.data(), options.width, options.height);
        for (double seconds : options.stills)
          if (frame_at(seconds, options.fps) == n) {
            if (!write_png(picture, still_name(options.target, seconds), error)) ok = fail(error);
            stills_written.push_back(still_name(options.target, seconds));
          }
      }
    } else if (options.output == Output::CONTACT_SHEET && capture.drawn) {
      const float clock = frame_clock(capture, n);
      if (sheet_wants_frame(sheet, previous_scene_state, clock, fade_state.hold, n)) {
        if (!read_offscreen(target, frame.data(), error)) {
          ok = fail("frame " + std::to_string(n) + ": " + error);
          break;
        }
        add_sheet_picture(sheet, clock, frame.data(), options.width, options.height);
      }
    }
    show_progress(progress, n + 1 - first, expected);
  }
  if (progress.shown) std::fprintf(stderr, "\n");
  const double elapsed = seconds_since(progress.began);

  if (ok && !capture.over && options.output != Output::STILLS && (options.output != Output::VIDEO || options.to < 0))
    ok = fail("the show did not end within " + std::to_string(int(LONGEST_SHOW)) + " s");
  if (ok && options.output == Output::STILLS) {
    for (double seconds : options.stills)
      if (frame_at(seconds, options.fps) >= capture.frame) {
        char message[128];
        std::snprintf(message, sizeof message, "no frame at %.3f s: the show ends at %.3f s", seconds,
                      double(capture.frame) / options.fps);
        ok = fail(message);
      }
  }
  if (options.output == Output::VIDEO) {
    if (ok && written == 0) ok = fail("the clip holds no frame of the show");
    // A failed encoder tells why as it finishes; either way nothing stays behind.
    if (ok || encoding_failed) {
      if (!finish_video(encoder, chapters, error)) ok = fail(error);
      else if (encoding_failed) ok = fail("the video could not be written");
    } else {
      abandon_video(encoder);
    }
  }
  if (ok && !options.chapters.empty() &&
      !write_file(options.chapters, webvtt_chapters(chapters, written, options.fps), error))
    ok = fail(error);
  if (ok && options.output == Output::CONTACT_SHEET && !write_png(compose_contact_sheet(sheet), options.target, error))
    ok = fail(error);
  if (!ok) {
    // Some stills without the others would pass for a whole capture.
    for (const std::string& still : stills_written) unlink(still.c_str());
    return interrupted ? 130 : 1;
  }
  const int64_t frames = capture.frame - first;
  std::fprintf(stderr, "capture_show: %lld frames of %dx%d at %d fps in %.1f s (%.1f frames per second) on %s\n",
               (long long)frames, options.width, options.height, options.fps, elapsed, frames / std::max(elapsed, 1e-3),
               target.renderer.c_str());
  if (capture.welcome_frame >= 0)
    std::fprintf(stderr, "capture_show: the music starts at frame %lld (%.4f s)\n", (long long)capture.welcome_frame,
                 double(capture.welcome_frame) / options.fps);
  for (const Chapter& chapter : chapters)
    std::fprintf(stderr, "capture_show: chapter %s at frame %lld (%.4f s)\n", chapter.title.c_str(),
                 (long long)chapter.frame, double(chapter.frame) / options.fps);
  if (capture.over)
    std::fprintf(stderr, "capture_show: the show ends at frame %lld (%.4f s)\n", (long long)capture.frame,
                 double(capture.frame) / options.fps);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The encoders' statistics and notes are not the user's business; their warnings are.
  av_log_set_level(AV_LOG_WARNING);
  Options options;
  bool help = false, version = false;
  if (!parse_options(argc, argv, options, help, version)) return 2;
  if (help) {
    std::fputs(usage, stdout);
    return 0;
  }
  if (version) {
    std::printf("capture_show %s\n", INTRO_VERSION);
    return 0;
  }
  return run(options);
}
