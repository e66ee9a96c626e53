// The XM reader on modules the tests build: header fields, pattern unpacking,
// the added empty pattern, instruments, envelopes, samples and effects.
#include "effect_codes.h"
#include "music_test_support.h"
#include "xm_effects.h"
#include "xm_reader.h"

#include <gtest/gtest.h>

namespace {

XmModule one_pattern_module(std::vector<std::pair<uint32_t, XmCell>> placed = {}) {
  XmModule m;
  m.patterns.push_back(pattern_with(64, m.channels, std::move(placed)));
  return m;
}

TEST(XmHeader, FieldsAreReadAndLimited) {
  XmModule m = one_pattern_module();
  m.song_length = 3;
  m.orders = {0, 0, 0};
  m.restart_position = 2;
  m.flags = 0;
  m.tempo = 40;
  m.bpm = 300;
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->song_length, 3);
  EXPECT_EQ(song->restart_position, 2);
  EXPECT_EQ(song->amiga_frequencies, 1);
  EXPECT_EQ(song->default_tempo, 31);
  EXPECT_EQ(song->default_bpm, 255);
  EXPECT_EQ(song->default_global_volume, 64);
  EXPECT_EQ(song->fast_volume_slides, 0);
  EXPECT_EQ(song->channel_count, 2);
  EXPECT_EQ(song->channel_panning[0], 128);
  EXPECT_EQ(song->channel_panning[1], 128);
  EXPECT_EQ(song->channel_panning[2], 0);

  m.restart_position = 3;  // not below the song length
  m.flags = 1;
  m.tempo = 5;
  m.bpm = 0;  // would divide by zero in the replayer
  song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->restart_position, 0);
  EXPECT_EQ(song->amiga_frequencies, 0);
  EXPECT_EQ(song->default_tempo, 5);
  EXPECT_EQ(song->default_bpm, 125);
}

TEST(XmHeader, SongLengthIsCutTo256AndZeroReadsAsOne) {
  XmModule m = one_pattern_module();
  m.song_length = 300;
  m.orders.assign(256, 0);
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->song_length, 256);

  m.song_length = 0;
  m.orders = {7};  // names a missing pattern: must be mended, not left dangling
  song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->song_length, 1);
  EXPECT_EQ(song->order_table[0], 1);
  EXPECT_EQ(song->pattern_count, 2);
}

TEST(XmHeader, HeaderSizeOfTwentyPlusSongLength) {
  XmModule m;
  m.song_length = 2;
  m.orders = {1, 0};
  m.header_size = 20 + 2;
  m.patterns.push_back(pattern_with(4, 2, {{0, {49, 0, 0, 0, 0}}}));
  m.patterns.push_back(pattern_with(8, 2, {{3, {50, 0, 0, 0, 0}}}));
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->order_table[0], 1);
  EXPECT_EQ(song->order_table[1], 0);
  EXPECT_EQ(song->pattern_count, 2);
  EXPECT_EQ(song->patterns[0].row_count, 4);
  EXPECT_EQ(song->patterns[1].first_row, 4u);
  EXPECT_EQ(song->patterns[1].row_count, 8);
  EXPECT_EQ(cell_at(*song, 0, 0, 0).note, 49);
  EXPECT_EQ(cell_at(*song, 1, 1, 1).note, 50);
  EXPECT_EQ(song->row_count, 12u);
}

TEST(XmPatterns, UnpacksMaskedAndPlainCells) {
  auto song = prepare(write_xm(one_pattern_module({
      {0, {49, 1, 0x40, 0x0C, 0x20}},  // every field: five plain bytes
      {3, {0, 2, 0, 0x0A, 0x0F}},      // masked
      {5, {97, 0, 0, 0, 0}},           // key off
  })));
  ASSERT_TRUE(song);
  const PatternCell& a = cell_at(*song, 0, 0, 0);
  EXPECT_EQ(a.note, 49);
  EXPECT_EQ(a.instrument, 1);
  EXPECT_EQ(a.volume_column, 0x40);
  EXPECT_EQ(a.effect, SET_VOLUME);
  EXPECT_EQ(a.param, 0x20);
  const PatternCell& b = cell_at(*song, 0, 1, 1);
  EXPECT_EQ(b.note, 0);
  EXPECT_EQ(b.instrument, 2);
  EXPECT_EQ(b.effect, VOLUME_SLIDE);
  EXPECT_EQ(b.param, 0x0F);
  EXPECT_EQ(cell_at(*song, 0, 2, 1).note, NOTE_KEY_OFF);
  EXPECT_EQ(cell_at(*song, 0, 2, 0).note, 0);
}

TEST(XmPatterns, PackedSizeZeroAndRowCounts) {
  XmModule m;
  XmPattern empty;
  empty.rows = 200;
  empty.packed_size = 0;  // whatever the row count says
  m.patterns.push_back(empty);
  XmPattern no_rows = pattern_with(0, 2, {});
  no_rows.packed = {0x81, 50};
  m.patterns.push_back(no_rows);
  m.song_length = 2;
  m.orders = {0, 1};
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->patterns[0].row_count, 64);
  EXPECT_EQ(cell_at(*song, 0, 0, 0).note, 0);
  // A stored row count of 0 is read as 64 rows, so the replayer always has a row.
  EXPECT_EQ(song->patterns[1].first_row, 64u);
  EXPECT_EQ(song->patterns[1].row_count, 64);
  EXPECT_EQ(cell_at(*song, 1, 0, 0).note, 50);
  EXPECT_EQ(song->row_count, 128u);
}

TEST(XmPatterns, TooManyCellsFillExactlyTheGrid) {
  XmModule m;
  XmPattern p;
  p.rows = 2;
  for (int i = 0; i < 6; i++) p.packed.insert(p.packed.end(), {0x81, uint8_t(10 + i)});
  m.patterns.push_back(p);
  m.patterns.push_back(pattern_with(1, 2, {{0, {60, 0, 0, 0, 0}}}));
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(cell_at(*song, 0, 0, 0).note, 10);
  EXPECT_EQ(cell_at(*song, 0, 1, 1).note, 13);
  EXPECT_EQ(cell_at(*song, 1, 0, 0).note, 60);  // the extra cells did not spill
}

TEST(XmPatterns, PackedDataEndingMidCellReadsZeros) {
  XmModule m;
  XmPattern p;
  p.rows = 1;
  p.packed = {0x9F, 49, 1, 0x40, 0x0C, 0x30};
  p.packed_size = 3;  // cuts the cell after the instrument
  m.patterns.push_back(p);
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  const PatternCell& c = cell_at(*song, 0, 0, 0);
  EXPECT_EQ(c.note, 49);
  EXPECT_EQ(c.instrument, 1);
  EXPECT_EQ(c.volume_column, 0);
  EXPECT_EQ(c.effect, 0);
  EXPECT_EQ(cell_at(*song, 0, 0, 1).note, 0);
}

TEST(XmPatterns, MissingPatternIsAddedAndOrdersPointToIt) {
  XmModule m;
  for (int i = 0; i < 16; i++) m.patterns.push_back(pattern_with(32, 2, {}));
  m.song_length = 3;
  m.orders = {20, 3, 16, 99};  // 99 lies past the song length
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->pattern_count, 17);
  EXPECT_EQ(song->order_table[0], 16);
  EXPECT_EQ(song->order_table[1], 3);
  EXPECT_EQ(song->order_table[2], 16);
  EXPECT_EQ(song->order_table[3], 99);
  EXPECT_EQ(song->patterns[16].first_row, 16u * 32);
  EXPECT_EQ(song->patterns[16].row_count, 64);
  EXPECT_EQ(song->row_count, 16u * 32 + 64);
}

TEST(XmPatterns, SongOfSixtyFiveThousandFiveHundredThirtySixRows) {
  XmModule m;
  m.channels = 1;
  for (int i = 0; i < 256; i++) {
    XmPattern p;
    p.rows = 256;
    p.packed = {0x80};
    if (i == 255) {
      p.packed.assign(255, 0x80);
      p.packed.insert(p.packed.end(), {0x81, 77});
    }
    m.patterns.push_back(p);
  }
  m.song_length = 2;
  m.orders = {255, 0};
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->pattern_count, 256);
  EXPECT_EQ(song->row_count, 65536u);
  EXPECT_EQ(song->patterns[255].first_row, 255u * 256);
  EXPECT_EQ(cell_at(*song, 255, 255, 0).note, 77);
  EXPECT_EQ(song->cells[65535].note, 77);
}

TEST(XmInstruments, MapEnvelopesVibratoAndFadeout) {
  XmModule m = one_pattern_module();
  XmInstrument empty;
  empty.header_size = 29;
  XmInstrument ins;
  ins.samples = {sample_of({1, 2}), sample_of({3})};
  for (int k = 0; k < 96; k++) ins.sample_map[k] = uint8_t(k % 3);  // 2 is past the count
  ins.volume = {{0, 10, 20}, {64, 200, 0}, 3, 1, 0, 2, 7};
  ins.panning = {{0, 5}, {32, 16}, 2, 0, 0, 1, 1};  // on, no sustain bit, no loop bit
  ins.vibrato_type = 1;
  ins.vibrato_sweep = 9;
  ins.vibrato_depth = 8;
  ins.vibrato_rate = 7;
  ins.fadeout = 0x1234;
  m.instruments = {empty, ins};
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->instrument_count, 2);
  EXPECT_EQ(song->sample_count, 2);
  for (int k = 0; k < 96; k++) EXPECT_EQ(song->instruments[0].sample_of_note[k], NO_SAMPLE);
  EXPECT_EQ(song->instruments[0].volume_envelope.point_count, 0);
  const Instrument& i = song->instruments[1];
  EXPECT_EQ(i.sample_of_note[0], 0);
  EXPECT_EQ(i.sample_of_note[1], 1);
  EXPECT_EQ(i.sample_of_note[2], NO_SAMPLE);
  const Envelope& v = i.volume_envelope;
  EXPECT_EQ(v.point_count, 3);
  EXPECT_EQ(v.points[1].frame, 10);
  EXPECT_EQ(v.points[1].value, 64);  // 200 is limited to 64
  EXPECT_EQ(v.sustain_point, 1);
  EXPECT_EQ(v.loop_start, 0);
  EXPECT_EQ(v.loop_end, 2);
  const Envelope& p = i.panning_envelope;
  EXPECT_EQ(p.point_count, 2);
  EXPECT_EQ(p.points[1].value, 16);
  EXPECT_EQ(p.sustain_point, NO_SUSTAIN);
  EXPECT_EQ(p.loop_end, 0);
  EXPECT_EQ(i.vibrato_waveform, WAVEFORM_SQUARE);
  EXPECT_EQ(i.vibrato_sweep, 9);
  EXPECT_EQ(i.vibrato_depth, 8);
  EXPECT_EQ(i.vibrato_rate, 7);
  EXPECT_EQ(i.fadeout, 0x1234);
}

TEST(XmInstruments, SampleMapsUseGlobalIndicesAcrossInstruments) {
  XmModule m = one_pattern_module();
  XmInstrument a, b;
  a.samples = {sample_of({1}), sample_of({2}), sample_of({3})};
  b.samples = {sample_of({4}), sample_of({5})};
  b.sample_map[10] = 1;
  m.instruments = {a, b};
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->instruments[1].sample_of_note[0], 3);
  EXPECT_EQ(song->instruments[1].sample_of_note[10], 4);
  EXPECT_EQ(song->sample_data[song->samples[4].data_offset], 5 * 256);
}

TEST(XmInstruments, FieldsPastTheHeaderSizeReadAsZero) {
  XmModule m = one_pattern_module();
  XmInstrument ins;
  ins.header_size = 140;  // the map and one envelope point, no counts or fadeout
  ins.samples = {sample_of({1})};
  ins.volume = {{0, 10}, {10, 20}, 2, 0, 0, 0, 1};
  ins.fadeout = 500;
  ins.sample_map[5] = 0;
  m.instruments = {ins};
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->sample_count, 1);
  EXPECT_EQ(song->instruments[0].sample_of_note[5], 0);
  EXPECT_EQ(song->instruments[0].volume_envelope.point_count, 0);
  EXPECT_EQ(song->instruments[0].fadeout, 0);
  EXPECT_EQ(song->sample_data[0], 256);  // the sample header follows the short header
}

TEST(XmEnvelopes, FinaliseRules) {
  const struct {
    const char* why;
    std::vector<uint16_t> frames;
    uint8_t count, sustain, loop_start, loop_end, flags;
    std::vector<int> expected;  // point count, then sustain and loop where on
  } cases[] = {
      {"equal frames: off", {0, 10, 10}, 3, 0, 0, 1, 7, {0}},
      {"falling frames: off", {0, 10, 5}, 3, 0, 0, 1, 7, {0}},
      {"not switched on", {0, 10}, 2, 0, 0, 1, 6, {0}},
      {"one point: off", {0}, 1, 0, 0, 0, 7, {0}},
      {"count cut to twelve", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 40, 11, 2, 11, 7, {12, 11, 2, 11}},
      {"sustain past the points, empty loop", {0, 10, 20}, 3, 3, 1, 1, 7, {3, NO_SUSTAIN, 0, 0}},
      {"loop start past the points", {0, 10, 20}, 3, 1, 3, 5, 7, {3, 1, 0, 0}},
      {"loop end past the points", {0, 10, 20}, 3, 1, 0, 3, 7, {3, 1, 0, 0}},
      {"loop and sustain bits clear", {0, 10, 20}, 3, 1, 0, 2, 1, {3, NO_SUSTAIN, 0, 0}},
  };
  for (const auto& c : cases) {
    Envelope e{};
    for (size_t i = 0; i < c.frames.size(); i++) e.points[i] = {c.frames[i], 32};
    e.point_count = c.count;
    e.sustain_point = c.sustain;
    e.loop_start = c.loop_start;
    e.loop_end = c.loop_end;
    finalise_envelope(e, c.flags);
    std::vector<int> got = {e.point_count};
    if (e.point_count) got.insert(got.end(), {e.sustain_point, e.loop_start, e.loop_end});
    EXPECT_EQ(got, c.expected) << c.why;
    // An envelope switched off keeps no points behind.
    if (!e.point_count) {
      EXPECT_EQ(e.points[1].frame, 0) << c.why;
    }
  }
}

TEST(XmSamples, HeaderFieldsAndEightBitDeltas) {
  XmModule m = one_pattern_module();
  XmInstrument ins;
  XmSample s = sample_of({0, 127, -128, -1});
  s.volume = 99;
  s.finetune = -128;
  s.panning = 17;
  s.relative_note = -12;
  XmSample t = sample_of({5});
  t.finetune = 127;
  XmSample u = sample_of({1});
  u.finetune = -1;
  ins.samples = {s, t, u};
  m.instruments = {ins};
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  const Sample& a = song->samples[0];
  EXPECT_EQ(a.data_offset, 0u);
  EXPECT_EQ(a.length, 4u);
  EXPECT_EQ(a.loop_length, 0u);
  EXPECT_EQ(a.volume, 64);
  EXPECT_EQ(a.finetune, -16);
  EXPECT_EQ(a.panning, 17);
  EXPECT_EQ(a.relative_note, -12);
  EXPECT_EQ(a.ping_pong, 0);
  EXPECT_EQ(song->sample_data[0], 0);
  EXPECT_EQ(song->sample_data[1], 127 * 256);
  EXPECT_EQ(song->sample_data[2], -128 * 256);
  EXPECT_EQ(song->sample_data[3], -256);
  EXPECT_EQ(song->samples[1].data_offset, 4u);
  EXPECT_EQ(song->samples[1].finetune, 15);
  EXPECT_EQ(song->samples[2].finetune, -1);  // rounds down, not towards zero
  EXPECT_EQ(song->sample_data[4], 5 * 256);
  EXPECT_EQ(song->sample_data_length, 6u);
}

TEST(XmSamples, SixteenBitOddLengthAndNextSampleOffset) {
  XmModule m = one_pattern_module();
  XmInstrument ins;
  std::vector<int16_t> values(500);
  for (int i = 0; i < 500; i++) values[i] = int16_t(i * 131 - 30000);
  XmSample wide;
  wide.data = delta_code_16(values);
  wide.data.push_back(0x55);  // 1001 bytes
  wide.type = 0x10;
  ins.samples = {wide, sample_of({-7})};
  m.instruments = {ins};
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->samples[0].length, 500u);
  for (int i = 0; i < 500; i++) ASSERT_EQ(song->sample_data[i], values[i]) << i;
  EXPECT_EQ(song->samples[1].data_offset, 500u);
  EXPECT_EQ(song->sample_data[500], -7 * 256);
}

TEST(XmSamples, LoopRules) {
  auto loaded = [](uint32_t bytes, uint32_t start, uint32_t length, uint8_t type) {
    XmModule m = one_pattern_module();
    XmInstrument ins;
    XmSample s;
    s.data.assign(bytes, 1);
    s.loop_start = start;
    s.loop_length = length;
    s.type = type;
    ins.samples = {s};
    m.instruments = {ins};
    auto song = prepare(write_xm(m));
    EXPECT_TRUE(song);
    return song ? std::pair(song->samples[0].length, song->samples[0].loop_length)
                : std::pair(0u, 0u);
  };
  EXPECT_EQ(loaded(100, 20, 50, 1), std::pair(70u, 50u));   // played to the loop end
  EXPECT_EQ(loaded(100, 60, 50, 1), std::pair(60u, 0u));    // loop past the end: to its start
  EXPECT_EQ(loaded(100, 150, 10, 1), std::pair(100u, 0u));  // start past the end
  EXPECT_EQ(loaded(100, 20, 0xFFFFFFF0u, 2), std::pair(20u, 0u));  // no 32-bit wrap
  EXPECT_EQ(loaded(100, 20, 50, 0), std::pair(100u, 0u));   // no loop type
  EXPECT_EQ(loaded(100, 20, 50, 0x12), std::pair(35u, 25u));  // 16-bit halves
}

TEST(XmSamples, PingPongFlag) {
  XmModule m = one_pattern_module();
  XmInstrument ins;
  XmSample s;
  s.data.assign(10, 0);
  s.loop_length = 10;
  s.type = 2;
  s.volume = 33;
  ins.samples = {s};
  m.instruments = {ins};
  auto song = prepare(write_xm(m));
  ASSERT_TRUE(song);
  EXPECT_EQ(song->samples[0].ping_pong, 1);
  EXPECT_EQ(song->samples[0].volume, 33);
  EXPECT_EQ(song->samples[0].loop_length, 10u);
}

PatternCell converted(uint8_t note, uint8_t effect, uint8_t param) {
  PatternCell c{note, 0, 0, effect, param};
  convert_xm_cell(c);
  return c;
}

TEST(XmEffects, Conversion) {
  auto code = [](uint8_t effect, uint8_t param) {
    const PatternCell c = converted(0, effect, param);
    return std::pair(int(c.effect), int(c.param));
  };
  EXPECT_EQ(code(0x0D, 0x25), std::pair(int(PATTERN_BREAK), 25));
  EXPECT_EQ(code(0x0F, 0x00), std::pair(int(SET_TEMPO), 0));
  EXPECT_EQ(code(0x0F, 0x1F), std::pair(int(SET_TEMPO), 31));
  EXPECT_EQ(code(0x0F, 0x20), std::pair(int(SET_BPM), 32));
  EXPECT_EQ(code(0x0E, 0x05), std::pair(0, 0));
  EXPECT_EQ(code(0x0E, 0xF5), std::pair(0, 0));
  EXPECT_EQ(code(0x0E, 0x13), std::pair(int(FINE_PORTA_UP), 3));
  EXPECT_EQ(code(0x0E, 0x30), std::pair(int(GLISSANDO_CONTROL), 0));
  EXPECT_EQ(code(0x0E, 0x3F), std::pair(int(GLISSANDO_CONTROL), 15));
  EXPECT_EQ(code(0x0E, 0x46), std::pair(int(VIBRATO_WAVEFORM), 0x82));
  EXPECT_EQ(code(0x0E, 0x43), std::pair(int(VIBRATO_WAVEFORM), 2));     // random -> square
  EXPECT_EQ(code(0x0E, 0x77), std::pair(int(TREMOLO_WAVEFORM), 0x82));  // random kept bit 7
  EXPECT_EQ(code(0x0E, 0x8F), std::pair(int(SET_CHANNEL_PANNING), 255));
  EXPECT_EQ(code(0x0E, 0x93), std::pair(int(RETRIGGER), 3));
  EXPECT_EQ(code(0x0E, 0xEA), std::pair(int(PATTERN_DELAY), 10));
  EXPECT_EQ(code(0x0A, 0xF1), std::pair(int(VOLUME_SLIDE), 0xF1));
  EXPECT_EQ(code(16, 0x40), std::pair(int(SET_GLOBAL_VOLUME), 0x40));
  EXPECT_EQ(code(29, 0x12), std::pair(int(TREMOR), 0x12));
  EXPECT_EQ(code(20, 0x05), std::pair(int(KEY_OFF), 5));
  EXPECT_EQ(code(33, 0x17), std::pair(int(EXTRA_FINE_PORTA_UP), 7));
  EXPECT_EQ(code(33, 0x29), std::pair(int(EXTRA_FINE_PORTA_DOWN), 9));
  EXPECT_EQ(code(33, 0x39), std::pair(0, 0));
  for (uint8_t cleared : {18, 19, 22, 23, 24, 26, 28, 30, 31, 32, 34, 35, 255}) {
    EXPECT_EQ(code(cleared, 0x33), std::pair(0, 0)) << int(cleared);
  }
  const PatternCell k = converted(49, 20, 0);
  EXPECT_EQ(k.note, NOTE_KEY_OFF);
  EXPECT_EQ(k.effect, 0);
  EXPECT_EQ(converted(97, 0, 0).note, NOTE_KEY_OFF);
}

}  // namespace
