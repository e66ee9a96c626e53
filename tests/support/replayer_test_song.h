// Songs for the replayer tests, built straight into the song model so that
// each case states its cells with the internal effect codes: a block laid out
// as the loader lays it out, patterns played in order, one instrument per
// sample mapping every note to it.
#pragma once

#include "load_module.h"
#include "sequencing.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

struct FreeSong {
  void operator()(ModuleContext* song) const { std::free(song); }
};
using TestSong = std::unique_ptr<ModuleContext, FreeSong>;

struct TestSampleSpec {
  std::vector<int16_t> frames;
  uint32_t loop_length = 0;
  bool ping_pong = false;
  uint8_t volume = 64;
  uint8_t panning = 128;
  int8_t finetune = 0;
  int8_t relative_note = 0;
};

// A song of the given patterns (row counts), channels and samples, with
// instrument i + 1 playing sample i; tempo 6, 125 BPM, linear periods.
inline TestSong make_song(uint8_t channels, const std::vector<uint16_t>& pattern_rows,
                          const std::vector<TestSampleSpec>& samples = {}) {
  ModulePrescan prescan{};
  uint32_t rows = 0, frames = 0;
  for (uint16_t r : pattern_rows) rows += r;
  for (const auto& s : samples) frames += uint32_t(s.frames.size());
  prescan.row_count = rows;
  prescan.sample_data_length = frames;
  prescan.pattern_count = uint16_t(pattern_rows.size());
  prescan.sample_count = uint16_t(samples.size());
  prescan.song_length = uint16_t(pattern_rows.size());
  prescan.channel_count = channels;
  prescan.instrument_count = uint8_t(samples.size());
  ModuleBlockLayout layout{};
  if (!plan_module_block(prescan, layout)) std::abort();
  ModuleContext* song = allocate_module_block(layout);
  if (!song) std::abort();
  song->row_count = rows;
  song->sample_data_length = frames;
  song->pattern_count = prescan.pattern_count;
  song->sample_count = prescan.sample_count;
  song->song_length = prescan.song_length;
  song->channel_count = channels;
  song->instrument_count = prescan.instrument_count;
  uint32_t first_row = 0;
  for (size_t p = 0; p < pattern_rows.size(); p++) {
    song->patterns[p] = {first_row, pattern_rows[p]};
    song->order_table[p] = uint8_t(p);
    first_row += pattern_rows[p];
  }
  uint32_t offset = 0;
  for (size_t i = 0; i < samples.size(); i++) {
    const TestSampleSpec& spec = samples[i];
    Sample& s = song->samples[i];
    s.data_offset = offset;
    s.length = uint32_t(spec.frames.size());
    s.loop_length = spec.loop_length;
    s.ping_pong = spec.ping_pong;
    s.volume = spec.volume;
    s.panning = spec.panning;
    s.finetune = spec.finetune;
    s.relative_note = spec.relative_note;
    std::memcpy(song->sample_data + offset, spec.frames.data(), spec.frames.size() * 2);
    offset += s.length;
    Instrument& instrument = song->instruments[i];
    for (auto& entry : instrument.sample_of_note) entry = uint16_t(i);
    instrument.volume_envelope.sustain_point = NO_SUSTAIN;
    instrument.panning_envelope.sustain_point = NO_SUSTAIN;
  }
  song->default_tempo = 6;
  song->default_bpm = 125;
  song->default_global_volume = 64;
  std::memset(song->channel_panning, 128, sizeof song->channel_panning);
  set_start_state(*song);
  return TestSong(song);
}

inline PatternCell& cell(ModuleContext& song, uint32_t pattern, uint32_t row, uint32_t channel) {
  return song.cells[(song.patterns[pattern].first_row + row) * song.channel_count + channel];
}

inline void put(ModuleContext& song, uint32_t pattern, uint32_t row, uint32_t channel,
                PatternCell value) {
  cell(song, pattern, row, channel) = value;
}

inline void run_ticks(ModuleContext& song, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) run_tick(song);
}

// A sample of `length` frames counting up from `first`, so that the value
// heard names the frame read.
inline TestSampleSpec counting_sample(uint32_t length, int16_t first = 0) {
  TestSampleSpec spec;
  for (uint32_t i = 0; i < length; i++) spec.frames.push_back(int16_t(first + i));
  return spec;
}

inline TestSampleSpec constant_sample(uint32_t length, int16_t value) {
  TestSampleSpec spec;
  spec.frames.assign(length, value);
  return spec;
}

// Note value C-4 (n = 48 with finetune 0), which plays a sample at 8363 Hz.
constexpr uint8_t NOTE_C4 = 49;
