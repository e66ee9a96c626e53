// The show run offline, frame by frame at a fixed rate: frame n is drawn at
// t = n / fps, the music starts in the frame that enters the welcome screen,
// and every later frame samples an offline replayer advanced to exactly that
// frame's audio time.  Each frame comes with the audio that plays during it:
// silence before the music, then the music as render_module renders it.
#pragma once

#include <cstdint>
#include <vector>

#include "module_context.h"
#include "scenes.h"
#include "timeline.h"

struct ShowCapture {
  int32_t fps;
  ModuleContext* song;            // the offline replayer's own song
  int64_t frame;                  // the next frame to draw
  int64_t welcome_frame;          // the frame that started the music; -1 before
  bool over;                      // the show ended in the last frame asked for
  bool drawn;                     // the last frame drew (a hand-over repeats the frame before)
  std::vector<float> audio;       // the last frame's audio, stereo frames
};

// Sets the show up for a width x height picture in the current GL context:
// the show's globals, every resource, the song.  False when the song does
// not load (never with the embedded one).
bool open_show_capture(ShowCapture& capture, int32_t width, int32_t height, int32_t fps);

// Output frames (48 kHz) from the start of the show to the start of frame n.
int64_t audio_frames_before(const ShowCapture& capture, int64_t frame);

// The clock reading of frame n.
float frame_clock(const ShowCapture& capture, int64_t frame);

// The scene that the frame captured last shows: the one whose start routine
// ran last, as a frame that hands over still shows the scene it ends.
const Scene* shown_scene();

// Draws the next frame and renders its audio into capture.audio; the inputs
// it was drawn from are returned.  It can be read back with read_offscreen.  When the show ends in this frame nothing
// is drawn, no audio is rendered and capture.over is set.
FrameInputs capture_next_frame(ShowCapture& capture);
