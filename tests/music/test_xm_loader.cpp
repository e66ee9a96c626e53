// The load-time preparation on XM modules: publication, rejections, every
// truncation and corruption of a small module, and the cell clean-up the
// replayer relies on.  The fields of a read song are the reader tests'.
#include "effect_codes.h"
#include "loaded_song_checks.h"
#include "music_test_support.h"
#include "published_song.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Two patterns, two instruments (one with an 8-bit looping and a 16-bit
// sample, one with an 8-bit sample), envelopes and a few effects.
XmModule small_module() {
  XmModule m;
  m.song_length = 3;
  m.restart_position = 1;
  m.channels = 3;
  m.tempo = 4;
  m.bpm = 140;
  m.orders = {1, 0, 1};
  m.patterns.push_back(pattern_with(2, 3, {
      {0, {49, 1, 0x30, 0x0F, 0x00}},  // F00
      {1, {0, 0, 0, 0x0E, 0x31}},      // E31
      {5, {61, 2, 0x10, 0x0C, 0x40}},
  }));
  m.patterns.push_back(pattern_with(3, 3, {
      {4, {97, 0, 0xA0, 0x0F, 0x80}},
      {8, {13, 1, 0xC8, 0x0E, 0x30}},  // E30
  }));
  XmInstrument a;
  std::vector<int16_t> wide = {-32768, 0, 32767, 1234, -5};
  XmSample s16;
  s16.data = delta_code_16(wide);
  s16.type = 0x10;
  a.samples = {sample_of({10, -20, 30, -40, 50, -60}, 1, 2, 3), s16};
  for (int k = 0; k < 96; k++) a.sample_map[k] = k < 48 ? 0 : 1;
  a.volume = {{0, 4, 16}, {64, 32, 0}, 3, 1, 0, 2, 7};
  a.fadeout = 300;
  XmInstrument b;
  b.samples = {sample_of({-1, 1})};
  m.instruments = {a, b};
  return m;
}

TEST(XmLoad, PublishesOnlyAcceptedSongs) {
  std::vector<uint8_t> bad = write_xm(small_module());
  bad[59] = 2;  // version 0x0204
  EXPECT_EQ(load_module(bad.data(), uint32_t(bad.size())), nullptr);
  EXPECT_EQ(published_song.load(std::memory_order_acquire), nullptr);

  const std::vector<uint8_t> good = write_xm(small_module());
  ModuleContext* song = load_module(good.data(), uint32_t(good.size()));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(published_song.load(std::memory_order_acquire), song);
  EXPECT_EQ(song->song_length, 3);

  EXPECT_EQ(load_module(bad.data(), uint32_t(bad.size())), nullptr);
  EXPECT_EQ(published_song.load(std::memory_order_acquire), song);
}

TEST(XmLoad, RejectsUnknownSignatures) {
  std::vector<uint8_t> image = write_xm(small_module());
  for (size_t at : {size_t(0), size_t(16), size_t(37), size_t(58)}) {
    std::vector<uint8_t> bad = image;
    bad[at] ^= 0x01;
    EXPECT_FALSE(prepare(bad)) << "byte " << at;
  }
  std::vector<uint8_t> noise(2000);
  for (size_t i = 0; i < noise.size(); i++) noise[i] = uint8_t(i * 37 + 11);
  EXPECT_FALSE(prepare(noise));
  EXPECT_FALSE(prepare({}));
  EXPECT_EQ(prepare_module(nullptr, 0), nullptr);
  // A header cut before the version bytes carries no XM signature.
  for (uint32_t length = 0; length < 60; length++) {
    EXPECT_EQ(prepare_module(image.data(), length), nullptr) << length;
  }
}

TEST(XmLoad, RejectsCountsOverTheirLimits) {
  XmModule m = small_module();
  m.channels = 255;
  EXPECT_TRUE(prepare(write_xm(m)));
  m.channels = 256;
  EXPECT_FALSE(prepare(write_xm(m)));

  m = small_module();
  m.pattern_count = 257;
  EXPECT_FALSE(prepare(write_xm(m)));
  m.pattern_count = 256;  // the missing ones read as zeros: packed size 0, 64 rows
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->pattern_count, 256);

  m = small_module();
  m.instrument_count = 256;
  EXPECT_FALSE(prepare(write_xm(m)));
  m.instrument_count = 255;
  EXPECT_TRUE(prepare(write_xm(m)));

  m = small_module();
  m.patterns[1] = pattern_with(257, 3, {});
  EXPECT_FALSE(prepare(write_xm(m)));
  m.patterns[1] = pattern_with(256, 3, {});
  EXPECT_TRUE(prepare(write_xm(m)));
}

TEST(XmLoad, RejectsSamplesOverTheirFrameLimits) {
  auto with_sample = [](uint32_t stored_length, uint8_t type, uint32_t loop_length) {
    XmModule m = small_module();
    XmSample s;  // no data stored: the missing bytes read as zeros
    s.stored_length = stored_length;
    s.type = type;
    s.loop_length = loop_length;
    m.instruments[1].samples = {s};
    return prepare(write_xm(m));
  };
  EXPECT_TRUE(with_sample(0xFFFFF, 0, 0));
  EXPECT_FALSE(with_sample(0x100000, 0, 0));
  EXPECT_TRUE(with_sample(0x1FFFFE, 0x10, 0));  // 16-bit: frames are half the bytes
  EXPECT_FALSE(with_sample(0x200000, 0x10, 0));
  EXPECT_TRUE(with_sample(0x7FFFF, 2, 0x7FFFF));
  EXPECT_FALSE(with_sample(0x80000, 2, 0x80000));
  // A loop that does not fit is dropped, so only the loop start is played.
  EXPECT_TRUE(with_sample(0x80000, 2, 0x90000));
}

TEST(XmLoad, BlockSizeIsCapped) {
  ModulePrescan prescan{};
  prescan.channel_count = 4;
  prescan.pattern_count = 1;
  prescan.row_count = 64;
  ModuleBlockLayout layout;
  ASSERT_TRUE(plan_module_block(prescan, layout));
  const uint32_t base = layout.size;
  EXPECT_EQ(base % 8, 0u);
  EXPECT_EQ(layout.cells + 64 * 4 * 5, base);

  prescan.sample_data_length = (MAX_CONTEXT_SIZE - base) / 2;
  ASSERT_TRUE(plan_module_block(prescan, layout));
  EXPECT_EQ(layout.size, MAX_CONTEXT_SIZE);
  prescan.sample_data_length += 4;
  EXPECT_FALSE(plan_module_block(prescan, layout));
  prescan.sample_data_length = 0xFFFFFFF0u;  // 2 bytes a frame overflows 32 bits
  EXPECT_FALSE(plan_module_block(prescan, layout));

  // Many full-size samples pass every per-sample limit but not the block cap.
  XmModule m = small_module();
  // One instrument, so that all 70 headers are read before any data.
  XmInstrument big;
  XmSample s;
  s.stored_length = 0xFFFFF;
  big.samples.assign(70, s);
  m.instruments = {big};
  EXPECT_FALSE(prepare(write_xm(m)));
}

TEST(XmLoad, EveryTruncationAndCorruptedByteLoadsOrRejectsSafely) {
  const std::vector<uint8_t> image = write_xm(small_module());
  EXPECT_EQ(count_safe_prefixes(image), image.size() + 1 - 60);  // from the signature on, zeros fill the rest
  EXPECT_GT(count_safe_byte_changes(image, 60), 0u);
}

TEST(XmLoad, CellCleanUp) {
  XmModule m;
  m.song_length = 2;
  m.orders = {0, 0};
  m.restart_position = 1;
  m.channels = 1;
  m.patterns.push_back(pattern_with(16, 1, {
      {0, {0, 0, 0, 0x0B, 0x02}},    // jump past the song
      {1, {0, 0, 0, 0x0B, 0x01}},    // jump within it
      {2, {0, 0, 0, 0x0C, 0x41}},    // volume 65
      {3, {0, 0, 0, 16, 0xFF}},      // global volume 255
      {4, {0, 0, 0, 0x0E, 0xC0}},    // EC0
      {5, {0, 0, 0, 0x0E, 0xC2}},    // EC2
      {6, {0, 0, 0, 0x0E, 0xD0}},    // ED0
      {7, {0, 0, 0, 0x0E, 0x90}},    // E90 without a note
      {8, {50, 0, 0, 0x0E, 0x90}},   // E90 with a note
      {9, {0, 0, 0, 0x0F, 0x00}},    // F00
      {10, {0, 0, 0xA0, 0, 0}},
      {11, {0, 0, 0xA1, 0, 0}},
      {12, {0, 0, 0xA0, 0x0C, 0x50}},  // both rules on one cell
      {13, {0, 0, 0, 0x0C, 0x40}},
  }));
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  auto at = [&](uint32_t row) {
    const PatternCell& c = cell_at(*song, 0, row, 0);
    return std::vector<int>{c.note, c.volume_column, c.effect, c.param};
  };
  EXPECT_EQ(at(0), (std::vector<int>{0, 0, POSITION_JUMP, 0}));
  EXPECT_EQ(at(1), (std::vector<int>{0, 0, POSITION_JUMP, 1}));
  EXPECT_EQ(at(2), (std::vector<int>{0, 0, SET_VOLUME, 64}));
  EXPECT_EQ(at(3), (std::vector<int>{0, 0, SET_GLOBAL_VOLUME, 64}));
  EXPECT_EQ(at(4), (std::vector<int>{0, 0, SET_VOLUME, 0}));
  EXPECT_EQ(at(5), (std::vector<int>{0, 0, NOTE_CUT, 2}));
  EXPECT_EQ(at(6), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(at(7), (std::vector<int>{NOTE_RETRIGGER, 0, 0, 0}));
  EXPECT_EQ(at(8), (std::vector<int>{50, 0, 0, 0}));
  EXPECT_EQ(at(9), (std::vector<int>{0, 0, POSITION_JUMP, 1}));
  EXPECT_EQ(at(10), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(at(11), (std::vector<int>{0, 0xA1, 0, 0}));
  EXPECT_EQ(at(12), (std::vector<int>{0, 0, SET_VOLUME, 64}));
  EXPECT_EQ(at(13), (std::vector<int>{0, 0, SET_VOLUME, 64}));
}

}  // namespace
