// The S3M reader through the loader: a small song read whole, channels and
// panning, orders, samples and their tuning, the command tables, the moving
// of loop markers, and bad input loading safely or being rejected.
#include "effect_codes.h"
#include "loaded_song_checks.h"
#include "music_test_support.h"
#include "s3m_reader.h"
#include "s3m_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

constexpr int32_t CMD_A = 1, CMD_B = 2, CMD_D = 4, CMD_M = 13, CMD_Q = 17, CMD_S = 19, CMD_T = 20,
                  CMD_V = 22, CMD_X = 24;

std::vector<int> fields(const PatternCell& c) {
  return {c.note, c.instrument, c.volume_column, c.effect, c.param};
}

std::vector<int> effect_of(const PatternCell& c) { return {c.effect, c.param}; }

S3mEntry command(uint8_t position, int32_t letter, uint8_t param) {
  return S3mEntry{position, -1, 0, -1, letter, param};
}

// One pattern with channel position 0 (left) holding one command per row.
LoadedSong load_commands(const std::vector<std::pair<int32_t, uint8_t>>& commands, uint8_t position = 0) {
  S3mModule m;
  std::vector<std::pair<uint32_t, S3mEntry>> placed;
  for (uint32_t r = 0; r < commands.size(); r++) {
    placed.push_back({r, command(position, commands[r].first, commands[r].second)});
  }
  m.patterns = {s3m_pattern(placed)};
  return prepare(write_s3m(m));
}

TEST(S3mLoad, RepresentativeSongLoadsWhole) {
  auto song = prepare(write_s3m(representative_s3m()));
  ASSERT_TRUE(song);
  expect_mod_s3m_song_is_safe(*song);
  // Orders, header fields and panning have tests of their own; this is the
  // song as a whole, cell by cell and frame by frame.
  EXPECT_EQ(song->channel_count, 4);
  EXPECT_EQ(song->pattern_count, 2);
  EXPECT_EQ(song->amiga_frequencies, 1);

  EXPECT_EQ(fields(cell_at(*song, 0, 0, 0)), (std::vector<int>{49, 1, 0x10 + 40, SET_TEMPO, 4}));
  EXPECT_EQ(fields(cell_at(*song, 0, 0, 1)), (std::vector<int>{NOTE_KEY_OFF, 2, 0, 0, 0}));
  EXPECT_EQ(fields(cell_at(*song, 0, 1, 2)), (std::vector<int>{NOTE_SWITCH_SAMPLE, 2, 0, S3M_VOLUME_SLIDE, 0x0F}));
  EXPECT_EQ(fields(cell_at(*song, 0, 2, 3)), (std::vector<int>{5 * 12 + 7 + 1, 2, 0, 0, 0}));
  for (int c = 0; c < 4; c++) EXPECT_EQ(fields(cell_at(*song, 0, 3, c)), (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(effect_of(cell_at(*song, 0, 4, 0)), (std::vector<int>{SET_CHANNEL_PANNING, 0x80}));
  EXPECT_EQ(effect_of(cell_at(*song, 0, 12, 0)), (std::vector<int>{PATTERN_BREAK, 0x10}));
  EXPECT_EQ(fields(cell_at(*song, 1, 0, 1)), (std::vector<int>{3 * 12 + 11 + 1, 1, 0x50, 0, 0}));
  EXPECT_EQ(effect_of(cell_at(*song, 1, 2, 2)), (std::vector<int>{S3M_VOLUME_SLIDE, 0x21}));
  // S00 takes the position's remembered 21: S2 with finetune 1.
  EXPECT_EQ(effect_of(cell_at(*song, 1, 3, 2)), (std::vector<int>{SET_FINETUNE, 1}));

  ASSERT_EQ(song->instrument_count, 2);
  ASSERT_EQ(song->sample_count, 2);
  EXPECT_EQ(song->instruments[1].sample_of_note[0], 1);
  EXPECT_EQ(song->instruments[1].sample_of_note[95], 1);
  EXPECT_EQ(song->samples[0].volume, 64);  // stored 70
  for (int f = 0; f < 24; f++) EXPECT_EQ(song->sample_data[f], (f % 8 < 4 ? 100 : -100) * 256) << f;
  const int16_t frames[] = {-32768, 32767, 0x1234, 0};
  for (int f = 0; f < 4; f++) EXPECT_EQ(song->sample_data[24 + f], frames[f]) << f;
  EXPECT_EQ(song->sample_data_length, 28u);
}

TEST(S3mLoad, ChannelNumberingAndPanning) {
  S3mModule m;
  m.channel_settings.fill(255);
  const uint8_t settings[] = {0, 8, 1, 9};
  for (int i = 0; i < 4; i++) m.channel_settings[i] = settings[i];
  m.patterns = {s3m_pattern({})};
  auto pans = [](const S3mModule& module) {
    auto song = prepare(write_s3m(module));
    std::vector<int> out;
    if (song) {
      for (uint32_t c = 0; c < song->channel_count; c++) out.push_back(song->channel_panning[c]);
    }
    return out;
  };
  EXPECT_EQ(pans(m), (std::vector<int>{51, 204, 51, 204}));
  m.master_volume = 0x30;  // mono
  EXPECT_EQ(pans(m), (std::vector<int>{128, 128, 128, 128}));
  m.master_volume = 0xB0;
  m.panning_table.assign(32, 0);
  m.panning_table[0] = 0x23;
  m.panning_table[1] = 0x13;  // bit 5 clear: the stereo default
  m.panning_table[3] = 0x2F;
  EXPECT_EQ(pans(m), (std::vector<int>{51, 204, 51, 255}));

  // Positions that share a setting share a channel; unplayed positions are
  // skipped, and the panning table is read by position.
  m.channel_settings.fill(255);
  m.channel_settings[1] = 9;
  m.channel_settings[2] = 3;
  m.channel_settings[5] = 9;
  m.channel_settings[6] = 16;
  m.panning_table.assign(32, 0);
  m.panning_table[1] = 0x21;
  m.panning_table[2] = 0x22;
  m.patterns = {s3m_pattern({
      {0, {1, s3m_note(4, 0), 1}},
      {1, {5, s3m_note(4, 2), 1}},
      {2, {2, s3m_note(4, 4), 1}},
      {3, {6, s3m_note(4, 5), 1}},
      {4, {0, s3m_note(4, 7), 1}},
  })};
  auto song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  ASSERT_EQ(song->channel_count, 2);
  EXPECT_EQ(song->channel_panning[0], 17);
  EXPECT_EQ(song->channel_panning[1], 34);
  EXPECT_EQ(cell_at(*song, 0, 0, 0).note, 49);
  EXPECT_EQ(cell_at(*song, 0, 1, 0).note, 51);
  EXPECT_EQ(cell_at(*song, 0, 2, 1).note, 53);
  for (uint32_t row : {3u, 4u}) {
    for (uint32_t c = 0; c < 2; c++) EXPECT_EQ(cell_at(*song, 0, row, c).note, 0) << row;
  }
}

TEST(S3mLoad, HeaderFieldsAndDefaults) {
  auto loaded = [](S3mModule m) {
    m.patterns = {s3m_pattern({})};
    return prepare(write_s3m(m));
  };
  S3mModule m;
  m.speed = 0;
  m.tempo = 32;
  m.global_volume = 100;
  auto song = loaded(m);
  ASSERT_TRUE(song);
  EXPECT_EQ(song->default_tempo, 6);
  EXPECT_EQ(song->default_bpm, 125);
  EXPECT_EQ(song->default_global_volume, 64);
  m.speed = 255;
  m.tempo = 33;
  song = loaded(m);
  EXPECT_EQ(song->default_tempo, 6);
  EXPECT_EQ(song->default_bpm, 33);
  m.speed = 31;
  m.flags = 0x40;
  song = loaded(m);
  EXPECT_EQ(song->default_tempo, 31);
  EXPECT_EQ(song->fast_volume_slides, 1);
  m.flags = 0;
  m.tracker_version = 0x1300;
  EXPECT_EQ(loaded(m)->fast_volume_slides, 1);
  // Slow S3M speeds are kept as they are: the S3M speed command sets them too.
  m.speed = 100;
  EXPECT_EQ(loaded(m)->default_tempo, 100);

  // An image cut inside the header still loads, with the short-image defaults.
  S3mModule odd;
  odd.global_volume = 30;
  odd.speed = 9;
  odd.tempo = 99;
  const std::vector<uint8_t> image = write_s3m(odd);
  auto cut = [&](uint32_t length) {
    std::vector<uint8_t> prefix(image.begin(), image.begin() + length);
    auto song = LoadedSong(prepare_module(prefix.data(), length));
    EXPECT_TRUE(song) << length;
    if (song) expect_mod_s3m_song_is_safe(*song);
    return song ? std::vector<int>{song->default_global_volume, song->default_tempo, song->default_bpm}
                : std::vector<int>{};
  };
  EXPECT_EQ(cut(48), (std::vector<int>{0, 6, 125}));
  EXPECT_EQ(cut(49), (std::vector<int>{30, 6, 125}));
  EXPECT_EQ(cut(50), (std::vector<int>{30, 9, 125}));
  EXPECT_EQ(cut(51), (std::vector<int>{30, 9, 99}));
}

TEST(S3mLoad, OrderList) {
  S3mModule m;
  m.orders = {0, 254, 1, 255, 2};
  m.patterns = {s3m_pattern({}), s3m_pattern({}), s3m_pattern({})};
  auto song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->song_length, 2);
  EXPECT_EQ(song->order_table[0], 0);
  EXPECT_EQ(song->order_table[1], 1);
  EXPECT_EQ(song->pattern_count, 3);

  // Orders naming patterns the file lacks all play one added empty pattern.
  m.orders = {1, 7, 0, 9};
  m.patterns = {s3m_pattern({}), s3m_pattern({{0, {0, s3m_note(4, 0), 1}}})};
  song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  expect_mod_s3m_song_is_safe(*song);
  ASSERT_EQ(song->pattern_count, 3);
  EXPECT_EQ(song->order_table[1], 2);
  EXPECT_EQ(song->order_table[3], 2);
  EXPECT_EQ(song->order_table[0], 1);
  EXPECT_EQ(cell_at(*song, 1, 0, 0).note, 49);
  for (uint32_t r = 0; r < 64; r++) EXPECT_EQ(cell_at(*song, 2, r, 0).note, 0);

  // No orders at all: one position, of the added pattern when there are none.
  m.orders = {255};
  m.patterns.clear();
  song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  expect_mod_s3m_song_is_safe(*song);
  EXPECT_EQ(song->song_length, 1);
  EXPECT_EQ(song->pattern_count, 1);

  m.patterns = {s3m_pattern({})};
  m.orders.assign(256, 0);
  m.orders.push_back(254);
  EXPECT_TRUE(prepare(write_s3m(m)));
  m.orders.push_back(0);
  EXPECT_FALSE(prepare(write_s3m(m)));
  m.orders.back() = 255;
  EXPECT_TRUE(prepare(write_s3m(m)));
}

TEST(S3mLoad, PositionJumpsCountOnlyPlayedOrders) {
  S3mModule m;
  m.orders = {0, 254, 1, 254, 254, 0, 255};
  m.patterns = {s3m_pattern({{0, command(0, CMD_B, 2)}, {1, command(0, CMD_B, 5)},
                             {2, command(0, CMD_B, 4)}, {3, command(0, CMD_B, 6)},
                             {4, command(0, CMD_B, 1)}}),
                s3m_pattern({})};
  auto song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  ASSERT_EQ(song->song_length, 3);
  EXPECT_EQ(effect_of(cell_at(*song, 0, 0, 0)), (std::vector<int>{POSITION_JUMP, 1}));
  EXPECT_EQ(effect_of(cell_at(*song, 0, 1, 0)), (std::vector<int>{POSITION_JUMP, 2}));
  EXPECT_EQ(effect_of(cell_at(*song, 0, 2, 0)), (std::vector<int>{POSITION_JUMP, 2}));  // a skipped entry: the next
  EXPECT_EQ(effect_of(cell_at(*song, 0, 3, 0)), (std::vector<int>{POSITION_JUMP, 0}));  // the end: the start
  EXPECT_EQ(effect_of(cell_at(*song, 0, 4, 0)), (std::vector<int>{POSITION_JUMP, 1}));
}

TEST(S3mLoad, NotesInstrumentsAndVolumes) {
  S3mModule m;
  m.patterns = {s3m_pattern({
      {0, {0, 254, 3}},                    // note cut with an instrument
      {1, {0, 255, 3}},                    // instrument alone
      {2, {0, 255, 0}},
      {3, {0, s3m_note(0, 0), 0}},
      {4, {0, s3m_note(7, 11), 0}},
      {5, {0, s3m_note(8, 0), 2}},         // past the highest octave
      {6, {0, -1, 0, 0}},
      {7, {0, -1, 0, 64}},
      {8, {0, -1, 0, 200}},
  })};
  auto song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  auto note = [&](uint32_t row) {
    const PatternCell& c = cell_at(*song, 0, row, 0);
    return std::vector<int>{c.note, c.instrument, c.volume_column};
  };
  EXPECT_EQ(note(0), (std::vector<int>{NOTE_KEY_OFF, 3, 0}));
  EXPECT_EQ(note(1), (std::vector<int>{NOTE_SWITCH_SAMPLE, 3, 0}));
  EXPECT_EQ(note(2), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(note(3), (std::vector<int>{1, 0, 0}));
  EXPECT_EQ(note(4), (std::vector<int>{96, 0, 0}));
  EXPECT_EQ(note(5), (std::vector<int>{0, 2, 0}));
  EXPECT_EQ(note(6), (std::vector<int>{0, 0, 0x10}));
  EXPECT_EQ(note(7), (std::vector<int>{0, 0, 0x50}));
  EXPECT_EQ(note(8), (std::vector<int>{0, 0, 0x50}));
}

TEST(S3mLoad, CommandTable) {
  auto song = load_commands({
      {CMD_A, 0x00}, {CMD_A, 0x1F}, {CMD_T, 0x20}, {CMD_T, 0x21}, {CMD_T, 0x00},
      {CMD_V, 0x40}, {CMD_V, 0x41}, {CMD_X, 0x80}, {CMD_X, 0x81}, {CMD_X, 0x00},
      {CMD_Q, 0x05}, {CMD_Q, 0x15}, {CMD_M, 0x00}, {CMD_M, 0x01}, {0, 0x33},
      {27, 0x33}, {CMD_D, 0x00}, {5, 0xF2}, {6, 0xE1}, {7, 0x10}, {8, 0x34},
      {9, 0x31}, {10, 0x37}, {11, 0x01}, {12, 0x02}, {15, 0x80}, {18, 0x44},
      {21, 0x22}, {CMD_A, 0xFF},
  });
  ASSERT_TRUE(song);
  const std::vector<std::vector<int>> expected = {
      {0, 0}, {SET_TEMPO, 0x1F}, {PARAM_ONLY, 0x20}, {SET_BPM, 0x21}, {0, 0},
      {SET_GLOBAL_VOLUME, 0x40}, {PARAM_ONLY, 0x41}, {SET_CHANNEL_PANNING, 255}, {PARAM_ONLY, 0x81},
      {SET_CHANNEL_PANNING, 0}, {S3M_RETRIG, 0x85}, {S3M_RETRIG, 0x15}, {0, 0}, {PARAM_ONLY, 1},
      {0, 0}, {0, 0}, {S3M_VOLUME_SLIDE, 0}, {S3M_PORTA_DOWN, 0xF2}, {S3M_PORTA_UP, 0xE1},
      {TONE_PORTA, 0x10}, {VIBRATO, 0x34}, {S3M_TREMOR, 0x31}, {S3M_ARPEGGIO, 0x37},
      {S3M_VIBRATO_VOLUME_SLIDE, 1}, {S3M_TONE_PORTA_VOLUME_SLIDE, 2}, {SAMPLE_OFFSET, 0x80},
      {S3M_TREMOLO, 0x44}, {FINE_VIBRATO, 0x22}, {SET_TEMPO, 0xFF},
  };
  for (uint32_t row = 0; row < expected.size(); row++) {
    EXPECT_EQ(effect_of(cell_at(*song, 0, row, 0)), expected[row]) << "row " << row;
  }
}

TEST(S3mLoad, STable) {
  auto left = load_commands({
      {CMD_S, 0x00}, {CMD_S, 0x10}, {CMD_S, 0x11}, {CMD_S, 0x2B}, {CMD_S, 0x37}, {CMD_S, 0x43},
      {CMD_S, 0x5F}, {CMD_S, 0x05}, {CMD_S, 0xF1}, {CMD_S, 0x8C}, {CMD_S, 0xA0}, {CMD_S, 0xA1},
      {CMD_S, 0xA2}, {CMD_S, 0xA3}, {CMD_S, 0xA5}, {CMD_S, 0xA8}, {CMD_S, 0xC3}, {CMD_S, 0xD2},
      {CMD_S, 0xE4}, {CMD_S, 0x00}, {CMD_D, 0x00}, {CMD_S, 0x00}, {CMD_D, 0xC1}, {CMD_S, 0x00},
  });
  ASSERT_TRUE(left);
  const std::vector<std::vector<int>> expected = {
      {0, 0}, {GLISSANDO_CONTROL, 0}, {GLISSANDO_CONTROL, 1}, {SET_FINETUNE, 0xB},
      {VIBRATO_WAVEFORM, 3}, {TREMOLO_WAVEFORM, 3}, {PARAM_ONLY, 0x5F}, {PARAM_ONLY, 0x05},
      {PARAM_ONLY, 0xF1}, {SET_CHANNEL_PANNING, 12 * 17}, {SET_CHANNEL_PANNING, 0},
      {SET_CHANNEL_PANNING, 255}, {SET_CHANNEL_PANNING, 0}, {SET_CHANNEL_PANNING, 255},
      {SET_CHANNEL_PANNING, 128}, {PARAM_ONLY, 0xA8}, {NOTE_CUT, 3}, {NOTE_DELAY, 2},
      {PATTERN_DELAY, 4},
      // S00 repeats the position's last parameter of any command, D00 keeps it.
      {PATTERN_DELAY, 4}, {S3M_VOLUME_SLIDE, 0}, {PATTERN_DELAY, 4}, {S3M_VOLUME_SLIDE, 0xC1},
      {NOTE_CUT, 1},
  };
  for (uint32_t row = 0; row < expected.size(); row++) {
    EXPECT_EQ(effect_of(cell_at(*left, 0, row, 0)), expected[row]) << "row " << row;
  }
  // Stereo control on a right channel (position 1, setting 8) mirrors the left.
  auto right = load_commands({{CMD_S, 0xA0}, {CMD_S, 0xA1}, {CMD_S, 0xA2}, {CMD_S, 0xA3}, {CMD_S, 0xA7}}, 1);
  ASSERT_TRUE(right);
  const int sides[] = {255, 0, 255, 0, 128};
  for (uint32_t row = 0; row < 5; row++) {
    EXPECT_EQ(effect_of(cell_at(*right, 0, row, 1)), (std::vector<int>{SET_CHANNEL_PANNING, sides[row]})) << row;
  }
  // Remembered parameters start again with each pattern.
  S3mModule m;
  m.orders = {0, 1, 255};
  m.patterns = {s3m_pattern({{0, command(0, CMD_D, 0xE4)}}), s3m_pattern({{1, command(0, CMD_S, 0)}})};
  auto song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(effect_of(cell_at(*song, 1, 1, 0)), (std::vector<int>{0, 0}));
}

TEST(S3mLoad, LoopMarkersMoveIntoFreeCells) {
  S3mModule m;
  m.patterns = {s3m_pattern({
      {0, command(3, CMD_S, 0xB1)},   // a lone SB1: loops row 0 once
      {0, command(0, CMD_D, 0x01)},   // row 0 busy in channel 0
      {4, command(3, CMD_S, 0xB0)},
      {4, command(0, CMD_D, 0x02)},
      {12, command(3, CMD_S, 0xB2)},
      {12, command(1, CMD_D, 0x03)},
      // The last marker of a row decides: row 30 closes a loop of 4.
      {20, command(0, CMD_S, 0xB0)},
      {20, command(2, CMD_S, 0xB0)},
      {30, command(0, CMD_S, 0xB3)},
      {30, command(1, CMD_S, 0xB0)},
      {30, command(3, CMD_S, 0xB4)},
      {40, command(0, CMD_D, 0x01)}, {40, command(1, CMD_D, 0x01)},
      {40, command(2, CMD_D, 0x01)}, {40, command(3, CMD_D, 0x01)},
      {41, command(0, CMD_S, 0xB2)},
      {41, command(1, CMD_D, 0x01)}, {41, command(2, CMD_D, 0x01)}, {41, command(3, CMD_D, 0x01)},
  })};
  auto song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  std::vector<std::vector<int>> loops;
  for (uint32_t r = 0; r < 64; r++) {
    for (uint32_t c = 0; c < 4; c++) {
      const PatternCell& cell = cell_at(*song, 0, r, c);
      if (cell.effect == PATTERN_LOOP || cell.effect == PATTERN_LOOP_HERE) {
        loops.push_back({int(r), int(c), cell.effect, cell.param});
      }
    }
  }
  const std::vector<std::vector<int>> expected = {
      {0, 1, PATTERN_LOOP_HERE, 1},
      {4, 2, PATTERN_LOOP, 0},
      {12, 2, PATTERN_LOOP, 2},
      {20, 0, PATTERN_LOOP, 0},
      {30, 0, PATTERN_LOOP, 4},
      // Row 41 is busy but for its own marker, which was taken out first.
      {31, 0, PATTERN_LOOP, 0},
      {41, 0, PATTERN_LOOP, 2},
  };
  EXPECT_EQ(loops, expected);
  // Every busy cell kept its own effect.
  EXPECT_EQ(effect_of(cell_at(*song, 0, 0, 0)), (std::vector<int>{S3M_VOLUME_SLIDE, 1}));
  EXPECT_EQ(effect_of(cell_at(*song, 0, 12, 1)), (std::vector<int>{S3M_VOLUME_SLIDE, 3}));

  // A loop with no channel free on both rows is dropped.
  m.patterns = {s3m_pattern({
      {2, command(0, CMD_S, 0xB0)},
      {2, command(1, CMD_D, 1)}, {2, command(2, CMD_D, 1)}, {2, command(3, CMD_D, 1)},
      {5, command(1, CMD_S, 0xB1)},
      {5, command(0, CMD_D, 1)},
  })};
  song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  for (uint32_t r = 0; r < 64; r++) {
    for (uint32_t c = 0; c < 4; c++) {
      EXPECT_NE(cell_at(*song, 0, r, c).effect, PATTERN_LOOP) << r << " " << c;
      EXPECT_NE(cell_at(*song, 0, r, c).effect, PATTERN_LOOP_HERE) << r << " " << c;
    }
  }
}

TEST(S3mLoad, SampleRuleDataAndTuning) {
  auto sample = [](S3mSample s, uint16_t format = 1) {
    S3mModule m;
    m.sample_format = format;
    m.patterns = {s3m_pattern({})};
    m.instruments = {s};
    auto song = prepare(write_s3m(m));
    EXPECT_TRUE(song);
    return song;
  };
  auto lengths = [&](uint32_t length, uint32_t loop_start, uint32_t loop_end, uint8_t flags) {
    S3mSample s;
    s.length = length;
    s.loop_start = loop_start;
    s.loop_end = loop_end;
    s.flags = flags;
    auto song = sample(s);
    return song ? std::vector<uint32_t>{song->samples[0].length, song->samples[0].loop_length}
                : std::vector<uint32_t>{};
  };
  EXPECT_EQ(lengths(100, 10, 50, 0), (std::vector<uint32_t>{100, 0}));
  EXPECT_EQ(lengths(100, 10, 50, 1), (std::vector<uint32_t>{50, 40}));
  EXPECT_EQ(lengths(100, 10, 150, 1), (std::vector<uint32_t>{10, 10}));  // loop end past the end
  EXPECT_EQ(lengths(100, 120, 150, 1), (std::vector<uint32_t>{100, 30}));
  EXPECT_EQ(lengths(100, 60, 50, 1), (std::vector<uint32_t>{50, 50}));    // end before start
  EXPECT_EQ(lengths(101, 11, 51, 5), (std::vector<uint32_t>{25, 20}));     // 16-bit halves

  // Unsigned data: 8-bit bytes and 16-bit words centred on their midpoint.
  S3mSample u8;
  u8.length = 3;
  u8.data = {0x80, 0x00, 0xFF};
  auto song = sample(u8, 2);
  EXPECT_EQ(song->sample_data[0], 0);
  EXPECT_EQ(song->sample_data[1], -128 * 256);
  EXPECT_EQ(song->sample_data[2], 127 * 256);
  S3mSample u16 = u8;
  u16.flags = 4;
  u16.length = 6;
  u16.data = {0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF};
  song = sample(u16, 2);
  EXPECT_EQ(song->sample_data[0], 0);
  EXPECT_EQ(song->sample_data[1], -32768);
  EXPECT_EQ(song->sample_data[2], 32767);

  // Samples of another type, or whose header lies outside the image, are empty.
  S3mSample adlib = u8;
  adlib.type = 2;
  song = sample(adlib);
  EXPECT_EQ(song->samples[0].length, 0u);
  EXPECT_EQ(song->sample_data_length, 0u);
  S3mSample far = u8;
  far.parapointer = 0xFFFF;
  song = sample(far);
  EXPECT_EQ(song->samples[0].length, 0u);
  // Data past the end reads as silence.
  S3mSample lost = u8;
  lost.data_parapointer = 0xFFFFFF;
  song = sample(lost);
  EXPECT_EQ(song->samples[0].length, 3u);
  EXPECT_EQ(song->sample_data[0], 0);
  EXPECT_EQ(song->sample_data[1], 0);
}

TEST(S3mLoad, C2RatesBecomeFinetuneAndRelativeNote) {
  auto tuning = [](uint32_t rate) {
    const S3mTuning t = s3m_tuning(rate);
    return std::vector<int>{t.finetune, t.relative_note};
  };
  EXPECT_EQ(tuning(8363), (std::vector<int>{0, 0}));
  EXPECT_EQ(tuning(16726), (std::vector<int>{0, 12}));
  EXPECT_EQ(tuning(8000), (std::vector<int>{4, -1}));
  EXPECT_EQ(tuning(0), (std::vector<int>{0, 0}));
  // Rising rates never lower the pitch, and absurd rates keep their sign.
  int previous = -1 << 20;
  for (uint64_t rate = 1; rate <= 0xFFFFFFFFu; rate = rate * 5 / 4 + 1) {
    const S3mTuning t = s3m_tuning(uint32_t(rate));
    const int steps = t.relative_note * 16 + t.finetune;
    ASSERT_GE(steps, previous) << rate;
    ASSERT_GE(t.finetune, 0);
    ASSERT_LE(t.finetune, 15);
    previous = steps;
  }
  EXPECT_LT(s3m_tuning(1).relative_note, -100);
  EXPECT_GT(s3m_tuning(0xFFFFFFFFu).relative_note, 100);
}

TEST(S3mLoad, RejectsCountsOverTheirLimits) {
  S3mModule m;
  m.patterns = {s3m_pattern({})};
  m.instrument_count = 255;
  EXPECT_TRUE(prepare(write_s3m(m)));
  m.instrument_count = 256;
  EXPECT_FALSE(prepare(write_s3m(m)));
  m.instrument_count = -1;
  m.pattern_count = 256;  // parapointers of 0 or past the end: empty patterns
  auto song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->pattern_count, 256);
  expect_mod_s3m_song_is_safe(*song);
  m.pattern_count = 257;
  EXPECT_FALSE(prepare(write_s3m(m)));

  auto with_length = [](uint32_t length, uint8_t flags) {
    S3mModule m;
    m.patterns = {s3m_pattern({})};
    S3mSample s;
    s.length = length;
    s.loop_end = length;
    s.flags = flags;
    m.instruments = {s};
    return bool(prepare(write_s3m(m)));
  };
  EXPECT_TRUE(with_length(0xFFFFF, 0));
  EXPECT_FALSE(with_length(0x100000, 0));
  EXPECT_FALSE(with_length(0x100000, 1));
  EXPECT_TRUE(with_length(0x1FFFFF, 4));  // 16-bit: frames are half
  EXPECT_FALSE(with_length(0x200000, 4));
  EXPECT_FALSE(with_length(0xFFFFFFFF, 0));
}

TEST(S3mLoad, ParapointersPastTheEndAndBadPackedLengths) {
  S3mModule m = representative_s3m();
  m.patterns[0].parapointer = 0xFFFF;
  m.instruments[0].parapointer = 0x8000;
  auto song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  expect_mod_s3m_song_is_safe(*song);
  for (uint32_t r = 0; r < 64; r++) EXPECT_EQ(cell_at(*song, 0, r, 0).note, 0);
  EXPECT_EQ(song->samples[0].length, 0u);
  EXPECT_EQ(song->samples[1].length, 4u);

  // A packed length shorter than the data ends the pattern there.
  m = representative_s3m();
  m.patterns[0].packed_length = 2 + 6;  // the first entry (6 bytes) only
  song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(cell_at(*song, 0, 0, 0).note, 49);
  EXPECT_EQ(cell_at(*song, 0, 0, 1).note, 0);
  // Longer than the image, or entries past 64 rows: the rest reads as zeros
  // and nothing is written past the pattern.
  m.patterns[0].packed_length = 0xFFFF;
  m.patterns[1].packed.assign(200, 0);
  m.patterns[1].packed.push_back(0xE0);
  m.patterns[1].packed.push_back(s3m_note(4, 0));
  song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  expect_mod_s3m_song_is_safe(*song);
}

TEST(S3mLoad, ParapointerZeroMeansNone) {
  // Offset 0 holds the song title; read as a pattern or a sample header it
  // would give a C-4 on channel 0 and a PCM sample.
  S3mModule m;
  m.patterns = {s3m_pattern({})};
  m.patterns[0].parapointer = 0;
  S3mSample s;
  s.length = 8;
  s.parapointer = 0;
  m.instruments = {s};
  std::vector<uint8_t> image = write_s3m(m);
  const uint8_t title[] = {0x01, 0x01, 0x20, 0x40, 0x01, 0x00, 0x00, 0x00};
  std::copy(std::begin(title), std::end(title), image.begin());
  image[16] = 8;  // a length, were the title a sample header
  auto song = prepare(image);
  ASSERT_TRUE(song);
  EXPECT_EQ(cell_at(*song, 0, 0, 0).note, 0);
  EXPECT_EQ(song->samples[0].length, 0u);
  EXPECT_EQ(song->sample_data_length, 0u);
}

TEST(S3mLoad, EveryTruncationAndCorruptedByteLoadsOrRejectsSafely) {
  const std::vector<uint8_t> image = write_s3m(representative_s3m());
  // From the signature on, zeros fill the rest: every longer prefix loads.
  EXPECT_EQ(count_safe_prefixes(image, expect_mod_s3m_song_is_safe), image.size() + 1 - 48);
  EXPECT_GT(count_safe_byte_changes(image, 32, expect_mod_s3m_song_is_safe), 0u);
}

TEST(S3mLoad, ManyCorruptedBytesLoadOrRejectSafely) {
  expect_random_corruptions_are_safe(write_s3m(representative_s3m()), 32);
}

}  // namespace
