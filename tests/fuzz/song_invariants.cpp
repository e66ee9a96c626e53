// Loading promises: counts within their limits, every index pointing inside
// its region, samples inside the pool, envelopes well formed.  Playback
// promises: the next row read is a real one, channels point at records.
#include "song_invariants.h"

#include "sequencing.h"

#include <cstdint>

namespace {

const char* broken_envelope_promise(const Envelope& envelope) {
  // An off envelope's other fields are never read.
  if (envelope.point_count == 0) return nullptr;
  if (envelope.point_count < 2 || envelope.point_count > MAX_ENVELOPE_POINTS) {
    return "envelope point count outside 2..12";
  }
  for (uint32_t i = 0; i < envelope.point_count; i++) {
    if (envelope.points[i].value > 64) return "envelope value above 64";
    if (i && envelope.points[i].frame <= envelope.points[i - 1].frame) {
      return "envelope frames do not rise";
    }
  }
  if (envelope.sustain_point != NO_SUSTAIN && envelope.sustain_point >= envelope.point_count) {
    return "envelope sustain point past the last point";
  }
  if (envelope.loop_end > envelope.loop_start) {
    if (envelope.loop_end >= envelope.point_count) return "envelope loop past the last point";
  } else if (envelope.loop_start || envelope.loop_end) {
    return "envelope without a loop keeps loop points";
  }
  return nullptr;
}

const char* broken_sample_promise(const ModuleContext& song, const Sample& sample) {
  if (sample.loop_length > sample.length) return "sample loop longer than the sample";
  if (uint64_t(sample.data_offset) + sample.length > song.sample_data_length) {
    return "sample reaches past the sample pool";
  }
  if (sample.length > (sample.ping_pong ? MAX_PING_PONG_SAMPLE_FRAMES : MAX_SAMPLE_FRAMES)) {
    return "sample too long for 20.12 positions";
  }
  if (sample.volume > 64) return "sample volume above 64";
  return nullptr;
}

}  // namespace

const char* broken_loading_promise(const ModuleContext& song) {
  if (song.song_length < 1 || song.song_length > 256) return "song length outside 1..256";
  if (song.restart_position >= song.song_length) return "restart position past the song";
  if (song.pattern_count > 257) return "more than 257 patterns";
  if (song.row_count >= ROW_COUNT_LIMIT) return "too many rows";
  for (uint32_t i = 0; i < song.song_length; i++) {
    if (song.order_table[i] >= song.pattern_count) return "order names a missing pattern";
  }
  for (uint32_t p = 0; p < song.pattern_count; p++) {
    const PatternInfo& pattern = song.patterns[p];
    if (pattern.row_count < 1 || pattern.row_count > 256) return "pattern rows outside 1..256";
    if (uint64_t(pattern.first_row) + pattern.row_count > song.row_count) {
      return "pattern reaches past the cells";
    }
  }
  for (uint32_t s = 0; s < song.sample_count; s++) {
    if (const char* broken = broken_sample_promise(song, song.samples[s])) return broken;
  }
  for (uint32_t i = 0; i < song.instrument_count; i++) {
    const Instrument& instrument = song.instruments[i];
    for (uint16_t sample : instrument.sample_of_note) {
      if (sample != NO_SAMPLE && sample >= song.sample_count) return "note maps to a missing sample";
    }
    if (const char* broken = broken_envelope_promise(instrument.volume_envelope)) return broken;
    if (const char* broken = broken_envelope_promise(instrument.panning_envelope)) return broken;
  }
  return nullptr;
}

const char* broken_playing_promise(const ModuleContext& song) {
  if (song.order_position >= song.song_length) return "order position past the song";
  // Between ticks `row` may name the row after a pattern's last while a
  // break is pending; the row read next must be a real one.
  const RowPosition next = upcoming_row(song);
  if (next.order_position >= song.song_length) return "next order position past the song";
  if (next.row >= song.patterns[song.order_table[next.order_position]].row_count) {
    return "next row past the pattern's end";
  }
  for (uint32_t c = 0; c < song.channel_count; c++) {
    const ChannelState& channel = song.channels[c];
    if (channel.sample && (channel.sample < song.samples ||
                           channel.sample >= song.samples + song.sample_count)) {
      return "channel plays a sample outside the song";
    }
    if (channel.instrument && (channel.instrument < song.instruments ||
                               channel.instrument >= song.instruments + song.instrument_count)) {
      return "channel uses an instrument outside the song";
    }
    // A row outside the cells may be read from a stand-in cell beyond the
    // block; the cells are the block's last region, so none lies before them.
    const uintptr_t cell = uintptr_t(channel.cell);
    if (cell >= uintptr_t(&song) && cell < uintptr_t(song.cells)) {
      return "channel reads a cell outside the cells";
    }
  }
  return nullptr;
}
