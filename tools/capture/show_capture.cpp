// The offline show (see show_capture.h).  Its frames go through the same
// render_frame as the live intro's; only where the clock and the music
// position come from differs.
#include "show_capture.h"

#include "embedded_assets.h"
#include "load_module.h"
#include "replayer.h"
#include "show_resources.h"
#include "show_state.h"
#include "published_song.h"

bool open_show_capture(ShowCapture& capture, int32_t width, int32_t height, int32_t fps) {
  capture.fps = fps;
  capture.frame = 0;
  capture.welcome_frame = -1;
  capture.over = false;
  prepare_show(width, height);
  capture.song = prepare_module(asset_song_xm, static_cast<uint32_t>(asset_song_xm_size));
  return capture.song != nullptr;
}

int64_t audio_frames_before(const ShowCapture& capture, int64_t frame) {
  return frame * OUTPUT_RATE / capture.fps;
}

float frame_clock(const ShowCapture& capture, int64_t frame) {
  return static_cast<float>(static_cast<double>(frame) / capture.fps);
}

const Scene* shown_scene() { return scene_of(previous_scene_state); }

FrameInputs capture_next_frame(ShowCapture& capture) {
  const int64_t n = capture.frame;
  FrameInputs inputs = {};
  inputs.clock = frame_clock(capture, n);
  inputs.song_published = true;
  // Until the welcome frame the stream is corked; from the next frame on the
  // replayer stands exactly where this frame's audio time puts it.
  inputs.music_playing = capture.welcome_frame >= 0;
  if (inputs.music_playing) {
    const SongPosition position = song_position(*capture.song);
    inputs.order_position = position.order_position;
    inputs.row = position.row;
  }
  const FrameOutcome outcome = render_frame(inputs);
  capture.drawn = outcome.drawn;
  if (outcome.show_over) {
    capture.over = true;
    capture.audio.clear();
    return inputs;
  }
  if (outcome.start_music && capture.welcome_frame < 0) capture.welcome_frame = n;
  const int64_t count = audio_frames_before(capture, n + 1) - audio_frames_before(capture, n);
  capture.audio.assign(2 * size_t(count), 0.0f);
  if (capture.welcome_frame >= 0) render_frames(*capture.song, capture.audio.data(), static_cast<uint32_t>(count));
  capture.frame = n + 1;
  return inputs;
}
