// The MOD reader through the loader: a small song read whole, the period,
// effect and sample rules, every signature, FLT8 pairing, and bad input of
// every kind loading safely or being rejected.
#include "effect_codes.h"
#include "loaded_song_checks.h"
#include "mod_reader.h"
#include "mod_writer.h"
#include "music_test_support.h"

#include <gtest/gtest.h>

namespace {

std::vector<int> fields(const PatternCell& c) { return {c.note, c.instrument, c.effect, c.param}; }

// One 4-channel pattern whose channel 0 holds the given cells on rows 0, 1, ...
LoadedSong load_cells(const std::vector<ModCell>& column) {
  ModModule m;
  std::vector<std::pair<uint32_t, ModCell>> placed;
  for (uint32_t r = 0; r < column.size(); r++) placed.push_back({r * 4, column[r]});
  m.patterns = {mod_pattern(4, placed)};
  return prepare(write_mod(m));
}

TEST(ModLoad, RepresentativeSongLoadsWhole) {
  const ModModule m = representative_mod();
  auto song = prepare(write_mod(m));
  ASSERT_TRUE(song);
  expect_mod_s3m_song_is_safe(*song);
  EXPECT_EQ(song->channel_count, 4);
  EXPECT_EQ(song->song_length, 3);
  EXPECT_EQ(song->restart_position, 1);
  EXPECT_EQ(song->order_table[1], 1);
  EXPECT_EQ(song->pattern_count, 2);
  EXPECT_EQ(song->row_count, 128u);
  EXPECT_EQ(song->amiga_frequencies, 1);
  EXPECT_EQ(song->fast_volume_slides, 0);
  EXPECT_EQ(song->default_tempo, 6);
  EXPECT_EQ(song->default_bpm, 125);
  EXPECT_EQ(song->default_global_volume, 64);
  const uint8_t sides[] = {1, 255, 255, 1};
  for (int c = 0; c < 4; c++) {
    EXPECT_EQ(song->channel_panning[c], sides[c]);
    EXPECT_EQ(song->channels[c].default_panning, sides[c]);
  }

  EXPECT_EQ(fields(cell_at(*song, 0, 0, 0)), (std::vector<int>{49, 1, 0, 0}));
  EXPECT_EQ(fields(cell_at(*song, 0, 0, 1)), (std::vector<int>{NOTE_SWITCH_SAMPLE, 2, SET_VOLUME, 0x20}));
  EXPECT_EQ(fields(cell_at(*song, 0, 0, 2)), (std::vector<int>{37, 2, SET_FINETUNE, 2 ^ 8}));
  EXPECT_EQ(fields(cell_at(*song, 0, 3, 3)), (std::vector<int>{0, 0, PATTERN_BREAK, 12}));
  EXPECT_EQ(fields(cell_at(*song, 1, 0, 0)), (std::vector<int>{61, 1, SET_TEMPO, 7}));
  EXPECT_EQ(fields(cell_at(*song, 1, 1, 1)), (std::vector<int>{0, 0, SET_CHANNEL_PANNING, 0x40}));
  EXPECT_EQ(fields(cell_at(*song, 1, 1, 2)), (std::vector<int>{0, 0, 0, 0}));

  // Each of the 31 instruments plays its own sample, centred, with no envelope.
  ASSERT_EQ(song->instrument_count, 31);
  ASSERT_EQ(song->sample_count, 31);
  for (int i = 0; i < 31; i++) {
    EXPECT_EQ(song->instruments[i].sample_of_note[0], i);
    EXPECT_EQ(song->instruments[i].sample_of_note[95], i);
    EXPECT_EQ(song->instruments[i].volume_envelope.point_count, 0);
    EXPECT_EQ(song->samples[i].panning, 128);
  }
  for (int f = 0; f < 32; f++) EXPECT_EQ(song->sample_data[f], m.samples[0].data[f] * 256) << f;
  const int16_t six[] = {256, -256, 512, -512, 127 * 256, -128 * 256};
  for (int f = 0; f < 6; f++) EXPECT_EQ(song->sample_data[32 + f], six[f]) << f;
  EXPECT_EQ(song->sample_data_length, 38u);
}

TEST(ModLoad, PeriodsBecomeNotes) {
  EXPECT_EQ(mod_period_to_note(856), 37);
  EXPECT_EQ(mod_period_to_note(428), 49);
  EXPECT_EQ(mod_period_to_note(214), 61);
  EXPECT_EQ(mod_period_to_note(113), 72);
  EXPECT_EQ(mod_period_to_note(1712), 25);
  EXPECT_EQ(mod_period_to_note(0), 0);
  // Every period a cell can hold gives a real note, lower for longer periods.
  uint8_t previous = 96;
  for (uint32_t period = 1; period < 4096; period++) {
    const uint8_t note = mod_period_to_note(period);
    ASSERT_GE(note, NOTE_FIRST) << period;
    ASSERT_LE(note, previous) << period;
    previous = note;
  }
}

TEST(ModLoad, EffectRulesOnTopOfTheXmConversion) {
  auto song = load_cells({
      {0, 0, 0x1, 0x00}, {0, 0, 0x2, 0x00}, {0, 0, 0xA, 0x00}, {0, 0, 0xE, 0x10},
      {0, 0, 0xE, 0x20}, {0, 0, 0xE, 0xA0}, {0, 0, 0xE, 0xB0},
      {0, 0, 0x5, 0x00}, {0, 0, 0x6, 0x00}, {0, 0, 0x1, 0x03}, {0, 0, 0x5, 0x01},
      {0, 0, 0x8, 0xC0}, {0, 0, 0xE, 0x5F}, {0, 0, 0xE, 0x84}, {0, 0, 0x0, 0x00},
      {0, 0, 0xF, 0x00}, {0, 0, 0xE, 0xA1},
  });
  ASSERT_TRUE(song);
  auto effect = [&](uint32_t row) {
    const PatternCell& c = cell_at(*song, 0, row, 0);
    return std::vector<int>{c.effect, c.param};
  };
  for (uint32_t row = 0; row < 7; row++) EXPECT_EQ(effect(row), (std::vector<int>{0, 0})) << row;
  EXPECT_EQ(effect(7), (std::vector<int>{TONE_PORTA, 0}));
  EXPECT_EQ(effect(8), (std::vector<int>{VIBRATO, 0}));
  EXPECT_EQ(effect(9), (std::vector<int>{PORTA_UP, 3}));
  EXPECT_EQ(effect(10), (std::vector<int>{TONE_PORTA_VOLUME_SLIDE, 1}));
  EXPECT_EQ(effect(11), (std::vector<int>{SET_CHANNEL_PANNING, 0xC0}));
  EXPECT_EQ(effect(12), (std::vector<int>{SET_FINETUNE, 7}));
  EXPECT_EQ(effect(13), (std::vector<int>{SET_CHANNEL_PANNING, 4 * 17}));
  EXPECT_EQ(effect(15), (std::vector<int>{POSITION_JUMP, 0}));  // speed 0 restarts
  EXPECT_EQ(effect(16), (std::vector<int>{FINE_VOLUME_UP, 1}));
}

TEST(ModLoad, SampleLengthsAndLoops) {
  auto with_sample = [](uint16_t length, uint16_t loop_start, uint16_t loop_length) {
    ModModule m;
    m.patterns = {mod_pattern(4, {})};
    m.samples[0].length_words = length;
    m.samples[0].loop_start_words = loop_start;
    m.samples[0].loop_length_words = loop_length;
    auto song = prepare(write_mod(m));
    EXPECT_TRUE(song);
    return song ? std::vector<uint32_t>{song->samples[0].length, song->samples[0].loop_length}
                : std::vector<uint32_t>{};
  };
  // The loop runs past the end: the sample plays to its loop start, looping
  // the last 100 frames before it.
  EXPECT_EQ(with_sample(120, 100, 50), (std::vector<uint32_t>{200, 100}));
  EXPECT_EQ(with_sample(120, 20, 50), (std::vector<uint32_t>{140, 100}));
  EXPECT_EQ(with_sample(120, 0, 120), (std::vector<uint32_t>{240, 240}));
  EXPECT_EQ(with_sample(120, 10, 1), (std::vector<uint32_t>{240, 0}));  // one word: no loop
  EXPECT_EQ(with_sample(120, 130, 4), (std::vector<uint32_t>{240, 8}));
  EXPECT_EQ(with_sample(120, 110, 50), (std::vector<uint32_t>{220, 100}));
  EXPECT_EQ(with_sample(120, 10, 200), (std::vector<uint32_t>{20, 20}));
  // The next sample's data starts after this one's stored bytes, not its played ones.
  ModModule m;
  m.patterns = {mod_pattern(4, {})};
  m.samples[0].length_words = 4;
  m.samples[0].loop_start_words = 1;
  m.samples[0].loop_length_words = 2;
  m.samples[1].length_words = 1;
  m.samples[1].data = {5, 6};
  auto song = prepare(write_mod(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->samples[1].data_offset, 6u);
  EXPECT_EQ(song->sample_data[6], 5 * 256);
  EXPECT_EQ(song->sample_data[7], 6 * 256);
}

TEST(ModLoad, FinetuneAndVolume) {
  ModModule m;
  m.patterns = {mod_pattern(4, {})};
  const uint8_t stored[] = {0, 7, 8, 15, 16, 255};
  const int8_t expected[] = {0, 14, -16, -2, -16, -16};
  for (int i = 0; i < 6; i++) m.samples[i].finetune = stored[i];
  m.samples[0].volume = 64;
  m.samples[1].volume = 65;
  m.samples[2].volume = 255;
  auto song = prepare(write_mod(m));
  ASSERT_TRUE(song);
  for (int i = 0; i < 6; i++) EXPECT_EQ(song->samples[i].finetune, expected[i]) << i;
  EXPECT_EQ(song->samples[0].volume, 64);
  EXPECT_EQ(song->samples[1].volume, 64);
  EXPECT_EQ(song->samples[2].volume, 64);
}

TEST(ModLoad, EverySignature) {
  const std::pair<const char*, int> known[] = {
      {"M.K.", 4}, {"M!K!", 4}, {"FLT4", 4}, {"CD81", 8}, {"OCTA", 8}, {"OKTA", 8},
      {"FLT8", 8}, {"1CHN", 1}, {"6CHN", 6}, {"9CHN", 9}, {"10CH", 10}, {"16CN", 16},
      {"32CH", 32}, {"99CH", 99}, {"TDZ1", 1}, {"TDZ4", 4}, {"TDZ9", 9},
  };
  for (auto [signature, channels] : known) {
    ModModule m;
    m.signature = signature;
    const bool flt8 = std::string(signature) == "FLT8";
    m.channels = flt8 ? 4 : uint32_t(channels);  // FLT8 stores 4-channel halves
    std::vector<std::pair<uint32_t, ModCell>> placed;
    for (uint32_t c = 0; c < m.channels; c++) placed.push_back({63 * m.channels + c, {428, uint8_t(c % 31 + 1), 0x9, uint8_t(c)}});
    m.patterns = {mod_pattern(m.channels, placed), mod_pattern(m.channels, placed)};
    m.orders = {0, 1};
    m.song_length = 2;
    m.samples[3].length_words = 2;
    m.samples[3].data = {9, 8, 7, 6};
    auto song = prepare(write_mod(m));
    ASSERT_TRUE(song) << signature;
    SCOPED_TRACE(signature);
    expect_mod_s3m_song_is_safe(*song);
    EXPECT_EQ(song->channel_count, channels);
    EXPECT_EQ(song->pattern_count, flt8 ? 1 : 2);
    // The sample data is found after all the patterns, however wide.
    EXPECT_EQ(song->sample_data[0], 9 * 256);
    if (!flt8) {
      for (int c = 0; c < channels; c++) EXPECT_EQ(cell_at(*song, 1, 63, c).param, c);
    }
  }
  for (const char* bad : {"M.K!", "0CHN", "09CH", "100C", "1CH ", "TDZ0", "TDZA", "FLT6", "m.k.", "\0\0\0\0"}) {
    ModModule m;
    m.signature = std::string(bad, 4);
    m.patterns = {mod_pattern(4, {})};
    EXPECT_FALSE(prepare(write_mod(m))) << bad;
  }
  // A 15-sample module has no signature: its first pattern lies at 1080.
  std::vector<uint8_t> old = write_mod(representative_mod());
  old.erase(old.begin() + 470, old.begin() + 950);
  EXPECT_FALSE(prepare(old));
}

TEST(ModLoad, Flt8PairsItsFourChannelPatterns) {
  ModModule m;
  m.signature = "FLT8";
  m.song_length = 3;
  m.orders = {2, 0, 2};
  // Four stored 4-channel patterns; each cell says where it was stored.
  for (uint32_t stored = 0; stored < 4; stored++) {
    std::vector<std::pair<uint32_t, ModCell>> placed;
    for (uint32_t r = 0; r < 64; r++) {
      for (uint32_t c = 0; c < 4; c++) placed.push_back({r * 4 + c, {0, uint8_t(stored * 4 + c + 1), 0xC, uint8_t(r)}});
    }
    m.patterns.push_back(mod_pattern(4, placed));
  }
  auto song = prepare(write_mod(m));
  ASSERT_TRUE(song);
  expect_mod_s3m_song_is_safe(*song);
  EXPECT_EQ(song->channel_count, 8);
  ASSERT_EQ(song->pattern_count, 2);
  EXPECT_EQ(song->order_table[0], 1);
  EXPECT_EQ(song->order_table[1], 0);
  EXPECT_EQ(song->order_table[2], 1);
  for (uint32_t p = 0; p < 2; p++) {
    for (uint32_t r = 0; r < 64; r++) {
      for (uint32_t c = 0; c < 8; c++) {
        const uint32_t stored = 2 * p + c / 4;
        const PatternCell& cell = cell_at(*song, p, r, c);
        ASSERT_EQ(cell.instrument, stored * 4 + c % 4 + 1) << p << " " << r << " " << c;
        ASSERT_EQ(cell.param, r) << p << " " << r << " " << c;
      }
    }
  }
}

TEST(ModLoad, OrderTableAndSongLength) {
  ModModule m = representative_mod();
  m.orders.resize(128, 0);
  m.orders[127] = 5;  // past the song length, still stored
  m.patterns.resize(6, mod_pattern(4, {}));
  auto song = prepare(write_mod(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->pattern_count, 6);
  EXPECT_EQ(song->order_table[127], 5);
  EXPECT_EQ(song->sample_data[0], m.samples[0].data[0] * 256);

  m = representative_mod();
  m.song_length = 0;
  song = prepare(write_mod(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->song_length, 1);
  EXPECT_EQ(song->restart_position, 0);
  m.song_length = 200;
  m.restart_position = 127;
  song = prepare(write_mod(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->song_length, 128);
  EXPECT_EQ(song->restart_position, 127);
  m.song_length = 2;
  m.restart_position = 2;
  song = prepare(write_mod(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->restart_position, 0);

  // The highest pattern number: 256 patterns of 99 channels fit the block.
  m = representative_mod();
  m.signature = "99CH";
  m.channels = 99;
  m.patterns.clear();
  m.orders = {255};
  std::vector<uint8_t> image = write_mod(m);
  image.resize(1084 + 64 * 99 * 4 * 256 + 38, 0);
  song = prepare(image);
  ASSERT_TRUE(song);
  EXPECT_EQ(song->pattern_count, 256);
  expect_mod_s3m_song_is_safe(*song);
}

TEST(ModLoad, RejectsSampleDataLongerThanTheImage) {
  ModModule m;
  m.patterns = {mod_pattern(4, {})};
  m.samples[0].length_words = 600;
  std::vector<uint8_t> image = write_mod(m);
  // The sample data may be cut short (it reads as silence), but not be
  // longer than everything after the header.
  image.resize(1084 + 1200);
  EXPECT_TRUE(prepare(image));
  image.resize(1084 + 1199);
  EXPECT_FALSE(prepare(image));
  // 31 samples of the longest length, in a small image.
  for (ModSample& s : m.samples) s.length_words = 0xFFFF;
  image = write_mod(m);
  EXPECT_TRUE(prepare(image));
  image.resize(1084 + 31 * 2 * 0xFFFF - 1);
  EXPECT_FALSE(prepare(image));
}

TEST(ModLoad, EveryTruncationLoadsOrRejectsSafely) {
  const std::vector<uint8_t> image = write_mod(representative_mod());
  // Loads once the signature is there and the samples fit after it.
  EXPECT_EQ(count_safe_prefixes(image, expect_mod_s3m_song_is_safe), image.size() + 1 - (1084 + 38));
}

TEST(ModLoad, EveryCorruptedByteLoadsOrRejectsSafely) {
  ModModule m = representative_mod();
  m.signature = "FLT8";
  m.orders = {0, 1, 1};
  EXPECT_GT(count_safe_byte_changes(write_mod(m), 20, expect_mod_s3m_song_is_safe), 0u);
}

TEST(ModLoad, ManyCorruptedBytesLoadOrRejectSafely) {
  expect_random_corruptions_are_safe(write_mod(representative_mod()), 20);
}

}  // namespace
