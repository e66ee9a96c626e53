// What the replayer assumes of every loaded song, however bad its file was:
// positions name patterns that exist, rows and samples lie inside the block,
// and cells carry only notes and effect codes the replayer knows.
#pragma once

#include "module_context.h"
#include "music_test_support.h"

#include <gtest/gtest.h>

inline void expect_song_is_safe(const ModuleContext& song) {
  ASSERT_GE(song.song_length, 1);
  ASSERT_LE(song.song_length, 256);
  EXPECT_LT(song.restart_position, song.song_length);
  EXPECT_GT(song.default_bpm, 0);
  EXPECT_GT(song.default_tempo, 0);
  EXPECT_LE(song.default_global_volume, 64);
  for (uint32_t i = 0; i < song.song_length; i++) {
    ASSERT_LT(song.order_table[i], song.pattern_count) << "order " << i;
  }
  uint32_t rows = 0;
  for (uint32_t p = 0; p < song.pattern_count; p++) {
    EXPECT_EQ(song.patterns[p].first_row, rows) << "pattern " << p;
    EXPECT_EQ(song.patterns[p].row_count, 64);
    rows += song.patterns[p].row_count;
  }
  EXPECT_EQ(rows, song.row_count);
  for (uint32_t s = 0; s < song.sample_count; s++) {
    const Sample& sample = song.samples[s];
    EXPECT_LE(uint64_t(sample.data_offset) + sample.length, song.sample_data_length);
    EXPECT_LE(sample.loop_length, sample.length);
    EXPECT_LE(sample.volume, 64);
  }
  for (uint32_t i = 0; i < song.instrument_count; i++) {
    for (uint16_t s : song.instruments[i].sample_of_note) EXPECT_LT(s, song.sample_count);
  }
  const uint64_t cells = uint64_t(song.row_count) * song.channel_count;
  for (uint64_t k = 0; k < cells; k++) {
    const PatternCell& cell = song.cells[k];
    ASSERT_TRUE(cell.note <= NOTE_SWITCH_SAMPLE || cell.note == NOTE_KEY_OFF) << "cell " << k;
    ASSERT_TRUE(cell.effect <= S3M_TREMOR || cell.effect == PARAM_ONLY) << "cell " << k;
    ASSERT_NE(cell.effect, SET_PANNING) << "cell " << k;  // MOD and S3M pan the channel
  }
  EXPECT_EQ(song.output_rate, 48000);
  EXPECT_EQ(song.bpm, song.default_bpm);
}

// Changes 12 bytes at a time, from `first` on, with a seeded generator, 1,500
// times: every result must load safely or be rejected.
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
    expect_song_is_safe(*song);
  }
}
