// The embedded song loads through load_module with the header the
// show's timeline is written against.
#include "effect_codes.h"
#include "embedded_assets.h"
#include "load_module.h"
#include "published_song.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace {

TEST(EmbeddedSong, LoadsAndPublishesTheTimelinesSong) {
  ModuleContext* song =
      load_module(asset_song_xm, static_cast<uint32_t>(asset_song_xm_size));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(published_song.load(std::memory_order_acquire), song);
  // An XM 0x0104 under 1 MB, with linear frequencies, looping to its start.
  ASSERT_GT(asset_song_xm_size, 60);
  EXPECT_EQ(asset_song_xm[58] | asset_song_xm[59] << 8, 0x0104);
  EXPECT_LT(asset_song_xm_size, 1 << 20);
  EXPECT_EQ(song->restart_position, 0);
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

// The show is meant to exercise the replayer: the song must keep using its
// envelopes, loops, sample widths, effects and volume-column commands.
TEST(EmbeddedSong, UsesWhatTheReplayerImplements) {
  ModuleContext* song = prepare_module(asset_song_xm, static_cast<uint32_t>(asset_song_xm_size));
  ASSERT_NE(song, nullptr);
  EXPECT_GE(song->channel_count, 6);
  EXPECT_LE(song->channel_count, 16);
  bool sustain = false, envelope_loop = false, panning = false, fadeout = false, vibrato = false;
  for (uint32_t i = 0; i < song->instrument_count; i++) {
    const Instrument& instrument = song->instruments[i];
    sustain |= instrument.volume_envelope.point_count && instrument.volume_envelope.sustain_point != NO_SUSTAIN;
    envelope_loop |= instrument.volume_envelope.loop_end > instrument.volume_envelope.loop_start;
    panning |= instrument.panning_envelope.point_count != 0;
    fadeout |= instrument.fadeout != 0;
    vibrato |= instrument.vibrato_depth != 0 && instrument.vibrato_rate != 0;
  }
  EXPECT_TRUE(sustain && envelope_loop && panning && fadeout && vibrato);

  bool ping_pong = false, forward = false, one_shot = false, eight_bit = false, sixteen_bit = false;
  for (uint32_t i = 0; i < song->sample_count; i++) {
    const Sample& sample = song->samples[i];
    ping_pong |= sample.loop_length && sample.ping_pong;
    forward |= sample.loop_length && !sample.ping_pong;
    one_shot |= sample.loop_length == 0;
    // 8-bit data is stored as value x 256: every low byte is 0.
    bool low_bytes_zero = true;
    for (uint32_t f = 0; f < sample.length; f++) {
      low_bytes_zero &= (song->sample_data[sample.data_offset + f] & 0xFF) == 0;
    }
    eight_bit |= sample.length > 0 && low_bytes_zero;
    sixteen_bit |= !low_bytes_zero;
  }
  EXPECT_TRUE(ping_pong && forward && one_shot);
  EXPECT_TRUE(eight_bit && sixteen_bit);

  std::set<uint8_t> effects, volume_commands;
  bool key_off = false;
  for (uint32_t i = 0; i < song->row_count * song->channel_count; i++) {
    const PatternCell& cell = song->cells[i];
    if (cell.effect != ARPEGGIO || cell.param) effects.insert(cell.effect);
    if (cell.volume_column) volume_commands.insert(cell.volume_column >= 0x60 ? cell.volume_column >> 4 : 1);
    key_off |= cell.note == NOTE_KEY_OFF;
  }
  EXPECT_TRUE(key_off);
  for (uint8_t code : {ARPEGGIO, PORTA_UP, PORTA_DOWN, TONE_PORTA, VIBRATO, VOLUME_SLIDE, SET_PANNING,
                       SAMPLE_OFFSET, MULTI_RETRIG, RETRIGGER, NOTE_CUT, NOTE_DELAY}) {
    EXPECT_TRUE(effects.count(code)) << "effect code " << int(code);
  }
  // 1 stands for set volume; the others are the commands' high nibbles.
  for (uint8_t command : {1, 6, 7, 8, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF}) {
    EXPECT_TRUE(volume_commands.count(command)) << "volume column " << int(command);
  }
  std::free(song);
}

}  // namespace
