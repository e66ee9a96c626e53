// The song embedded until the composed music exists: it must load, and it
// must carry the timing the show's timeline keys on.
#include <gtest/gtest.h>

#include "embedded_assets.h"
#include "load_module.h"

namespace {

TEST(PlaceholderSong, LoadsWithTheShowsTiming) {
  ModuleContext* song = load_module(asset_placeholder_xm, static_cast<uint32_t>(asset_placeholder_xm_size));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(published_song.load(std::memory_order_acquire), song);
  EXPECT_GE(song->song_length, 22);
  EXPECT_EQ(song->restart_position, 0);
  EXPECT_EQ(song->default_bpm, 104);
  EXPECT_EQ(song->bpm, 104);
  EXPECT_EQ(song->tempo, 4);
  EXPECT_EQ(song->amiga_frequencies, 0);
  EXPECT_EQ(song_order_position(*song), 0);
  EXPECT_EQ(song_row(*song), 0);
  for (int position = 0; position < song->song_length; ++position) {
    const PatternInfo& pattern = song->patterns[song->order_table[position]];
    ASSERT_EQ(pattern.row_count, 64) << position;
    // Rows 0 and 1 of every four at 4 ticks, rows 2 and 3 at 2.
    for (uint32_t row = 0; row < 64; row += 2) {
      const PatternCell& cell = song->cells[(pattern.first_row + row) * song->channel_count];
      EXPECT_EQ(cell.effect, SET_TEMPO) << position << "/" << row;
      EXPECT_EQ(cell.param, row % 4 == 0 ? 4 : 2) << position << "/" << row;
    }
  }
  ASSERT_EQ(song->sample_count, 1);
  EXPECT_EQ(song->samples[0].loop_length, song->samples[0].length);
  EXPECT_EQ(song->sample_data[song->samples[0].data_offset], 40 * 256);  // 8-bit data widened
}

}  // namespace
