// The video's chapters: one for each scene, from the first frame of the
// video that shows it.  The same list goes into the video file (see
// video_encoder.h) and, as WebVTT, into a chapters file for web players.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Chapter {
  int64_t frame;  // its first frame, counted from the video's first
  std::string title;
};

// Notes that video frame `frame` shows the scene `title`: a new chapter when
// the frame before showed another.  Frames come in order.
void note_chapter(std::vector<Chapter>& chapters, int64_t frame, const char* title);

// A WebVTT chapters file for a video of `frames` frames at `fps`: each cue
// lasts until the next one begins, the last until the video ends; times are
// rounded to the millisecond.
std::string webvtt_chapters(const std::vector<Chapter>& chapters, int64_t frames, int32_t fps);
