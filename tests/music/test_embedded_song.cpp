// The embedded song loads through load_module with the header the
// show's timeline is written against.
#include "embedded_assets.h"
#include "load_module.h"

#include <gtest/gtest.h>

namespace {

TEST(EmbeddedSong, LoadsAndPublishesTheTimelinesSong) {
  ModuleContext* song =
      load_module(asset_song_xm, static_cast<uint32_t>(asset_song_xm_size));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(published_song.load(std::memory_order_acquire), song);
  EXPECT_EQ(song->amiga_frequencies, 0);
  EXPECT_GE(song->song_length, 22);
  EXPECT_EQ(song->default_tempo, 4);
  EXPECT_EQ(song->default_bpm, 104);
  EXPECT_EQ(song->bpm, 104);
  EXPECT_EQ(song->output_rate, OUTPUT_RATE);
  EXPECT_GE(song->channel_count, 2);
  EXPECT_GE(song->sample_count, 1);
  for (uint32_t i = 0; i < song->song_length; i++) {
    const PatternInfo& pattern = song->patterns[song->order_table[i]];
    ASSERT_LT(song->order_table[i], song->pattern_count);
    EXPECT_EQ(pattern.row_count, 64);
    // Speed alternates every two rows: 4 ticks on rows 0-1, 2 on rows 2-3, ...
    for (uint32_t row = 0; row < 64; row += 2) {
      bool found = false;
      for (uint32_t c = 0; c < song->channel_count; c++) {
        const PatternCell& cell = song->cells[(pattern.first_row + row) * song->channel_count + c];
        if (cell.effect == SET_TEMPO) {
          EXPECT_EQ(cell.param, row % 4 == 0 ? 4 : 2) << "position " << i << " row " << row;
          found = true;
        }
      }
      EXPECT_TRUE(found) << "position " << i << " row " << row;
    }
  }
}

}  // namespace
