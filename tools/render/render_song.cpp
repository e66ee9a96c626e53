// Rendering tick by tick (each call ends where a tick is due) lets the loop
// see every row read before it plays, at the mixer's full block speed.
#include "render_song.h"

#include "mixer.h"
#include "replayer.h"
#include "sequencing.h"

#include <algorithm>
#include <vector>

namespace {

// A muted channel still runs every row, effect and sample position (its
// speed or break commands time the song); only its gains are zeroed, after
// each tick has set them and before a frame is mixed with them.
void render_tick_frame_muted(ModuleContext& song, float* frame,
                             const std::bitset<MAX_XM_CHANNELS>& muted) {
  frame[0] = frame[1] = 0.0f;
  advance_clock(song);
  for (uint32_t c = 0; c < song.channel_count; c++) {
    if (muted[c]) song.channels[c].gain_left = song.channels[c].gain_right = 0.0f;
    mix_channel(song, song.channels[c], frame, 1);
  }
}

}  // namespace

RenderOutcome render_song(ModuleContext& song, WavFile& wav, const RenderRequest& request) {
  constexpr uint32_t chunk_frames = 65536;
  std::vector<float> chunk(2 * size_t(chunk_frames));
  RenderOutcome outcome{true, false, 0};
  uint32_t buffered = 0;
  if (!request.stop_at_row) wav_reserve(wav, request.frame_limit);
  while (outcome.frames < request.frame_limit && outcome.written) {
    uint32_t count = std::min(frames_before_tick(song), request.frame_limit - outcome.frames);
    const bool tick_due = count == 0;
    bool reads_row = false;
    RowPosition position{};
    if (tick_due) {
      reads_row = tick_reads_row(song);
      if (reads_row) position = upcoming_row(song);
      if (reads_row && request.stop_at_row && position.order_position == request.stop_order_position &&
          position.row == request.stop_row) {
        outcome.stopped_at_row = true;
        break;
      }
      count = 1;
    }
    count = std::min(count, chunk_frames - buffered);
    float* frames = chunk.data() + 2 * size_t(buffered);
    if (tick_due && request.muted.any()) {
      render_tick_frame_muted(song, frames, request.muted);
    } else {
      render_frames(song, frames, count);
    }
    if (reads_row && request.row_log) {
      std::fprintf(request.row_log, "%.6f %u %u %u %u\n", double(outcome.frames) / OUTPUT_RATE,
                   unsigned(position.order_position), unsigned(position.row), unsigned(song.tempo),
                   unsigned(song.bpm));
    }
    outcome.frames += count;
    buffered += count;
    if (buffered == chunk_frames) {
      outcome.written = wav_write(wav, chunk.data(), buffered);
      buffered = 0;
    }
  }
  if (outcome.written && buffered) outcome.written = wav_write(wav, chunk.data(), buffered);
  return outcome;
}
