// What the replayer assumes of every loaded song, however bad its file was,
// and the sweeps that hold each reader to it: every prefix of a module,
// every byte of it set to telling values, many bytes changed at random.
#pragma once

#include "effect_codes.h"
#include "module_context.h"
#include "music_test_support.h"
#include "replayer.h"

#include <gtest/gtest.h>

// Positions name patterns that exist, rows and samples lie inside the block,
// instruments name samples that exist, envelopes fit their points.
inline void expect_song_is_safe(const ModuleContext& song) {
  ASSERT_GE(song.song_length, 1);
  ASSERT_LE(song.song_length, 256);
  EXPECT_LT(song.restart_position, song.song_length);
  EXPECT_GT(song.default_bpm, 0);
  EXPECT_LE(song.default_global_volume, 64);
  for (uint32_t i = 0; i < song.song_length; i++) ASSERT_LT(song.order_table[i], song.pattern_count) << "order " << i;
  for (uint32_t p = 0; p < song.pattern_count; p++) {
    const PatternInfo& pattern = song.patterns[p];
    EXPECT_GE(pattern.row_count, 1) << "pattern " << p;
    EXPECT_LE(pattern.row_count, 256) << "pattern " << p;
    EXPECT_LE(uint64_t(pattern.first_row) + pattern.row_count, song.row_count) << "pattern " << p;
  }
  for (uint32_t s = 0; s < song.sample_count; s++) {
    const Sample& sample = song.samples[s];
    EXPECT_LE(uint64_t(sample.data_offset) + sample.length, song.sample_data_length);
    EXPECT_LE(sample.loop_length, sample.length);
    EXPECT_LE(sample.volume, 64);
  }
  for (uint32_t i = 0; i < song.instrument_count; i++) {
    const Instrument& instrument = song.instruments[i];
    for (uint16_t s : instrument.sample_of_note) EXPECT_TRUE(s < song.sample_count || s == NO_SAMPLE) << s;
    EXPECT_LE(instrument.volume_envelope.point_count, 12);
    EXPECT_LE(instrument.panning_envelope.point_count, 12);
  }
  EXPECT_EQ(song.output_rate, 48000);
  EXPECT_EQ(song.bpm, song.default_bpm);
}

// MOD and S3M songs, besides: 64-row patterns back to back, a tempo, and
// cells with only the notes and effect codes their readers make (no panning
// effect: both formats pan the channel instead).
inline void expect_mod_s3m_song_is_safe(const ModuleContext& song) {
  expect_song_is_safe(song);
  EXPECT_GT(song.default_tempo, 0);
  for (uint32_t p = 0; p < song.pattern_count; p++) {
    EXPECT_EQ(song.patterns[p].first_row, 64 * p) << "pattern " << p;
    EXPECT_EQ(song.patterns[p].row_count, 64) << "pattern " << p;
  }
  const uint64_t cells = uint64_t(song.row_count) * song.channel_count;
  for (uint64_t k = 0; k < cells; k++) {
    const PatternCell& cell = song.cells[k];
    ASSERT_TRUE(cell.note <= NOTE_SWITCH_SAMPLE || cell.note == NOTE_KEY_OFF) << "cell " << k;
    ASSERT_TRUE(cell.effect <= S3M_TREMOR || cell.effect == PARAM_ONLY) << "cell " << k;
    ASSERT_NE(cell.effect, SET_PANNING) << "cell " << k;
  }
}

using SongCheck = void (*)(const ModuleContext& song);

// A song that loads passes `check` and plays: a few thousand frames.
inline void expect_loaded_song_plays(ModuleContext& song, SongCheck check) {
  check(song);
  std::vector<float> frames(2 * 1024);
  for (int block = 0; block < 4; block++) render_frames(song, frames.data(), 1024);
}

// Every prefix of the image, each copied to exactly its length so that ASan
// sees a read past it; returns how many loaded.
inline uint32_t count_safe_prefixes(const std::vector<uint8_t>& image, SongCheck check = expect_song_is_safe) {
  uint32_t loaded = 0;
  for (uint32_t length = 0; length <= image.size(); length++) {
    const std::vector<uint8_t> prefix(image.begin(), image.begin() + length);
    LoadedSong song(prepare_module(prefix.data(), length));
    if (!song) continue;
    loaded++;
    SCOPED_TRACE(testing::Message() << "prefix of " << length << " bytes");
    expect_loaded_song_plays(*song, check);
    if (testing::Test::HasFailure()) break;
  }
  return loaded;
}

// Every byte from `first` on set in turn to 0x00, 0x7F, 0x80, 0xFE and 0xFF;
// returns how many of the changed images loaded.
inline uint32_t count_safe_byte_changes(const std::vector<uint8_t>& image, uint32_t first,
                                        SongCheck check = expect_song_is_safe) {
  uint32_t loaded = 0;
  for (uint32_t at = first; at < image.size(); at++) {
    for (uint8_t value : {uint8_t(0x00), uint8_t(0x7F), uint8_t(0x80), uint8_t(0xFE), uint8_t(0xFF)}) {
      std::vector<uint8_t> bad = image;
      bad[at] = value;
      auto song = prepare(bad);
      if (!song) continue;
      loaded++;
      SCOPED_TRACE(testing::Message() << "byte " << at << " = " << int(value));
      expect_loaded_song_plays(*song, check);
      if (testing::Test::HasFailure()) return loaded;
    }
  }
  return loaded;
}

// Changes 12 bytes of a MOD or S3M at a time, from `first` on, with a seeded
// generator, 1,500 times: every result must load safely or be rejected.
inline void expect_random_corruptions_are_safe(const std::vector<uint8_t>& image, uint32_t first) {
  uint32_t state = 12345;
  auto next = [&] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  for (int round = 0; round < 1500; round++) {
    std::vector<uint8_t> bad = image;
    for (int k = 0; k < 12; k++) bad[first + next() % (bad.size() - first)] = uint8_t(next());
    auto song = prepare(bad);
    if (!song) continue;
    SCOPED_TRACE(round);
    expect_mod_s3m_song_is_safe(*song);
  }
}
