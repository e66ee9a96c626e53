// The video's chapters (see chapters.h) and their WebVTT text.
#include "chapters.h"

#include <cinttypes>
#include <cstdio>

namespace {

// hh:mm:ss.ttt of the start of frame `frame`, to the nearest millisecond.
std::string timestamp(int64_t frame, int32_t fps) {
  const int64_t ms = (frame * 2000 + fps) / (2 * int64_t(fps));
  char text[48];
  std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%03" PRId64, ms / 3600000,
                ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
  return text;
}

// Cue text is markup: '&' and '<' are escaped, and a title keeps to one line.
std::string cue_text(const std::string& title) {
  std::string text;
  for (char c : title) {
    if (c == '&') text += "&amp;";
    else if (c == '<') text += "&lt;";
    else if (c == '\n' || c == '\r') text += ' ';
    else text += c;
  }
  return text;
}

}  // namespace

void note_chapter(std::vector<Chapter>& chapters, int64_t frame, const char* title) {
  if (chapters.empty() || chapters.back().title != title) chapters.push_back({frame, title});
}

std::string webvtt_chapters(const std::vector<Chapter>& chapters, int64_t frames, int32_t fps) {
  std::string text = "WEBVTT\n";
  for (size_t i = 0; i < chapters.size(); ++i) {
    const int64_t end = i + 1 < chapters.size() ? chapters[i + 1].frame : frames;
    text += "\n" + timestamp(chapters[i].frame, fps) + " --> " + timestamp(end, fps) + "\n" +
            cue_text(chapters[i].title) + "\n";
  }
  return text;
}
