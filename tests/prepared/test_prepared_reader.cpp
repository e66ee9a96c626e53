// The prepared-image reader: fields and tables read where the header says,
// sample values converted, and every check that keeps a bad image from the
// replayer, each on a small song whose image differs in one field.
#include "effect_codes.h"
#include "loaded_song_checks.h"
#include "prepared_reader.h"
#include "prepared_test_image.h"
#include "replayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>

namespace {

// Six patterns of four rows, two instruments with both envelopes and three
// samples (looping, plain, ping-pong).
XmModule small_song() {
  XmModule m;
  m.song_length = 3;
  m.restart_position = 1;
  m.orders = {2, 0, 1};
  m.tempo = 3;
  for (int p = 0; p < 6; p++) {
    m.patterns.push_back(pattern_with(4, 2, {{0, {uint8_t(25 + p), 1, 0x40, 0x0A, 0x02}},
                                             {3, {37, 2, 0, 0x04, 0x34}}}));
  }
  XmInstrument a;
  a.samples = {sample_of({10, 20, 30, 40, 50, 60, 70, 80}, 1, 2, 4), sample_of({-9, 9, -9, 9})};
  for (int k = 0; k < 96; k++) a.sample_map[k] = k < 40 ? 0 : 1;
  a.volume = {{0, 4, 16}, {64, 32, 0}, 3, 1, 0, 2, 7};
  a.panning = {{0, 8}, {0, 64}, 2, 0, 0, 0, 1};
  a.vibrato_type = 1;
  a.vibrato_depth = 4;
  a.vibrato_rate = 8;
  a.fadeout = 200;
  XmInstrument b;
  b.samples = {sample_of({5, -5, 15, -15, 25, -25, 35, -35, 45, -45, 55, -55}, 2, 1, 10)};
  m.instruments = {a, b};
  return m;
}

LoadedSong small_context() {
  LoadedSong song = prepare(write_xm(small_song()));
  if (!song) std::abort();
  return song;
}

std::vector<uint8_t> small_image(const PreparedLayout& layout = {}) {
  return prepared_image_of(*small_context(), layout);
}

bool loads(const std::vector<uint8_t>& image) { return bool(load_image(image)); }

// The same image with one table's records `stride` units apart, each cut
// or zero-padded to the new width: fields past a narrower stride then
// overlap the next record, everything else stays where the reader looks.
std::vector<uint8_t> with_stride(const std::vector<uint8_t>& image, int table, uint8_t stride) {
  const PreparedTables t = tables_of(image);
  const uint64_t starts[] = {t.patterns, t.cells, t.instruments, t.samples, t.sample_data};
  const uint64_t strides[] = {t.pattern_stride, t.cell_stride, t.instrument_stride,
                              t.sample_stride};
  std::vector<uint8_t> out(image.begin(), image.begin() + t.patterns);
  for (int i = 0; i < 4; i++) {
    const uint64_t old_stride = strides[i];
    const uint64_t new_stride = i == table ? stride * 8u : old_stride;
    const uint64_t records = old_stride ? (starts[i + 1] - starts[i]) / old_stride : 0;
    for (uint64_t r = 0; r < records; r++) {
      const auto record = image.begin() + starts[i] + r * old_stride;
      const uint64_t kept = std::min(old_stride, new_stride);
      out.insert(out.end(), record, record + kept);
      out.resize(out.size() + (new_stride - kept), 0);
    }
  }
  out.insert(out.end(), image.begin() + t.sample_data, image.end());
  out[32 + table] = stride;
  return out;
}

TEST(PreparedImage, HeaderFieldsFlagsAndPanning) {
  std::vector<uint8_t> image = small_image();
  ASSERT_TRUE(loads(image));
  image[27] = 9;     // tempo
  image[28] = 77;    // BPM
  image[29] = 40;    // global volume
  image[64] = 0;     // channel 0 panning
  image[65] = 255;   // channel 1 panning
  image[36] = 0xEE;  // bytes 36..63 are not read
  image[63] = 0xEE;
  for (const uint16_t flags : {0, 1, 2, 3, 0xFFFC}) {
    SCOPED_TRACE(flags);
    put_le(image, 30, flags, 2);
    auto song = load_image(image);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->amiga_frequencies, flags & 1);
    EXPECT_EQ(song->fast_volume_slides, (flags >> 1) & 1);
    EXPECT_EQ(song->default_tempo, 9);
    EXPECT_EQ(song->tempo, 9);
    EXPECT_EQ(song->default_bpm, 77);
    EXPECT_EQ(song->bpm, 77);
    EXPECT_EQ(song->default_global_volume, 40);
    EXPECT_EQ(song->global_volume, 40);
    EXPECT_EQ(song->channels[0].default_panning, 0);
    EXPECT_EQ(song->channels[1].default_panning, 255);
    EXPECT_EQ(song->output_rate, OUTPUT_RATE);
  }
}

TEST(PreparedImage, StrideThreeReadsRecordsTwentyFourBytesApart) {
  const LoadedSong original = small_context();
  std::vector<uint8_t> image = prepared_image_of(*original, {3, 3, 39, 3, 0xA5});
  const PreparedTables t = tables_of(image);
  ASSERT_EQ(t.pattern_stride, 24u);
  ASSERT_EQ(t.cell_stride, 24u);
  ASSERT_EQ(t.sample_stride, 24u);
  // The second record of each table is 24 bytes after the first.
  put_le(image, t.patterns + 24, 3, 2);    // pattern 1 starts at row 3, one row long
  put_le(image, t.patterns + 26, 1, 2);
  image[t.cells + 24 + 3] = TREMOLO;       // cell 1's effect
  image[t.samples + 24 + 14] = 17;         // sample 1's panning
  auto song = load_image(image);
  ASSERT_TRUE(song);
  EXPECT_EQ(song->patterns[1].first_row, 3u);
  EXPECT_EQ(song->patterns[1].row_count, 1);
  EXPECT_EQ(song->cells[1].effect, TREMOLO);
  EXPECT_EQ(song->samples[1].panning, 17);
  // Everything else, with every unread byte 0xA5, reads as the song.
  EXPECT_EQ(song->patterns[2].first_row, original->patterns[2].first_row);
  EXPECT_EQ(song->samples[2].length, original->samples[2].length);
  EXPECT_EQ(song->instruments[1].sample_of_note[95], original->instruments[1].sample_of_note[95]);
}

TEST(PreparedImage, SampleValuesTruncateTowardsZeroAndClamp) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float infinity = std::numeric_limits<float>::infinity();
  const struct {
    float value;
    int16_t frame;
  } cases[] = {
      {0.5f, 16384},        {-1.0f, -32768},          {0.0f, 0},
      {-0.0f, 0},           {1.0f, 32767},            {1.5f, 32767},
      {infinity, 32767},    {-1.0000001f, -32768},    {-infinity, -32768},
      {nan, 0},             {0.99999994f, 32767},     {-0.99999994f, -32767},
      {1.0f / 65536, 0},    {-1.0f / 65536, 0},       {3.0f / 65536, 1},
      {-3.0f / 65536, -1},  {1e-40f, 0},              {-0.25f, -8192},
  };
  std::vector<uint8_t> image = small_image();
  const PreparedTables t = tables_of(image);
  const uint32_t frames = get_le(image, 16, 4);
  ASSERT_GE(frames, std::size(cases));
  for (size_t i = 0; i < std::size(cases); i++) {
    EXPECT_EQ(prepared_frame(cases[i].value), cases[i].frame) << cases[i].value;
    put_float(image, t.sample_data + 4 * i, cases[i].value);
  }
  auto song = load_image(image);
  ASSERT_TRUE(song);
  for (size_t i = 0; i < std::size(cases); i++) {
    EXPECT_EQ(song->sample_data[i], cases[i].frame) << cases[i].value;
  }
}

TEST(PreparedImage, OrderEntryLowByteNamesThePattern) {
  std::vector<uint8_t> image = small_image();
  const PreparedTables t = tables_of(image);
  put_le(image, t.orders + 2, 0x0105, 2);
  auto song = load_image(image);
  ASSERT_TRUE(song);
  EXPECT_EQ(song->order_table[1], 5);
  // The low byte is what is checked, too: 0x0106 names the missing pattern 6.
  put_le(image, t.orders + 2, 0x0106, 2);
  EXPECT_FALSE(loads(image));
}

TEST(PreparedImage, RestartPositionOutsideTheSongIsZero) {
  std::vector<uint8_t> image = small_image();
  image[26] = 2;
  auto song = load_image(image);
  ASSERT_TRUE(song);
  EXPECT_EQ(song->restart_position, 2);
  image[26] = 3;
  song = load_image(image);
  ASSERT_TRUE(song);
  EXPECT_EQ(song->restart_position, 0);
}

TEST(PreparedImage, SongLengthIsCutTo256AndZeroRejects) {
  XmModule m = small_song();
  m.song_length = 256;
  m.orders.assign(256, 4);
  std::vector<uint8_t> image = prepared_image_of(*prepare(write_xm(m)));
  put_le(image, 10, 300, 2);  // the table still holds 256 entries
  auto song = load_image(image);
  ASSERT_TRUE(song);
  EXPECT_EQ(song->song_length, 256);
  EXPECT_EQ(song->order_table[255], 4);

  image = small_image();
  put_le(image, 10, 0, 2);
  EXPECT_FALSE(loads(image));
}

// One field at the edge of what the reader takes, and one step past it.
TEST(PreparedRejects, FieldsPastTheirLimits) {
  const std::vector<uint8_t> image = small_image();
  const PreparedTables t = tables_of(image);
  const uint32_t sample_length = get_le(image, t.samples + 4, 4);
  const struct {
    const char* field;
    uint64_t offset;
    int bytes;
    uint32_t accepted, rejected;
  } cases[] = {
      {"byte 1", 1, 1, 0, 1},
      {"row count", 12, 4, get_le(image, 12, 4), ROW_COUNT_LIMIT},
      {"BPM", 28, 1, 1, 0},
      // Louder than 64 overflows the mixer's gain product into noise.
      {"global volume", 29, 1, 64, 65},
      {"order entry", t.orders + 4, 1, 5, 6},  // names a pattern
      {"loop length", t.samples + 8, 4, sample_length, sample_length + 1},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> changed = image;
    put_le(changed, c.offset, c.accepted, c.bytes);
    EXPECT_TRUE(loads(changed)) << c.field;
    put_le(changed, c.offset, c.rejected, c.bytes);
    EXPECT_FALSE(loads(changed)) << c.field;
  }
}

// Louder than 64, in an envelope or a sample, overflows the mixer too.
TEST(PreparedRejects, VolumesAbove64) {
  std::vector<uint8_t> image = small_image();
  const uint64_t envelope = tables_of(image).instruments;
  ASSERT_EQ(image[envelope + 48], 3);
  image[envelope + 2 * 4 + 2] = 64;  // the last point in use
  EXPECT_TRUE(loads(image));
  image[envelope + 3 * 4 + 2] = 200;  // past the points in use: not read
  EXPECT_TRUE(loads(image));
  image[envelope + 2 * 4 + 2] = 65;
  EXPECT_FALSE(loads(image));

  image = small_image();
  const uint64_t volume = tables_of(image).samples + 13;
  image[volume] = 0x80 | 64;  // only the low 7 bits are the volume
  EXPECT_TRUE(loads(image));
  image[volume] = 65;
  EXPECT_FALSE(loads(image));
  image[volume] = 127;
  EXPECT_FALSE(loads(image));
}

// The row position is a byte: a pattern holds 1 to 256 rows.
TEST(PreparedRejects, PatternRowCountsOutsideOneTo256) {
  XmModule song = small_song();
  song.patterns[0] = pattern_with(256, 2, {{0, {25, 1, 0, 0, 0}}});
  const LoadedSong loaded = prepare(write_xm(song));
  ASSERT_TRUE(loaded);
  const std::vector<uint8_t> image = prepared_image_of(*loaded, {});
  const PreparedTables t = tables_of(image);
  ASSERT_GE(get_le(image, 12, 4), 257u);  // only the pattern's own count can reject
  std::vector<uint8_t> changed = image;
  put_le(changed, t.patterns, 0, 2);
  for (const uint32_t rows : {1u, 256u}) {
    put_le(changed, t.patterns + 2, rows, 2);
    EXPECT_TRUE(loads(changed)) << rows;
  }
  for (const uint32_t rows : {0u, 257u}) {
    put_le(changed, t.patterns + 2, rows, 2);
    EXPECT_FALSE(loads(changed)) << rows;
  }
}

// The song model has room for 256 patterns and the empty one added for
// order entries that name none.
TEST(PreparedRejects, MoreThan257Patterns) {
  const std::vector<uint8_t> image = small_image();
  const PreparedTables t = tables_of(image);
  const uint32_t stored = get_le(image, 20, 2);
  auto with_patterns = [&](uint32_t count) {
    std::vector<uint8_t> out(image.begin(), image.begin() + t.cells);
    for (uint32_t p = stored; p < count; p++) {  // copies of the first record
      out.insert(out.end(), image.begin() + t.patterns, image.begin() + t.patterns + t.pattern_stride);
    }
    out.insert(out.end(), image.begin() + t.cells, image.end());
    put_le(out, 20, count, 2);
    return out;
  };
  EXPECT_TRUE(loads(with_patterns(257)));
  EXPECT_FALSE(loads(with_patterns(258)));
  EXPECT_FALSE(loads(with_patterns(0xFFFF)));
}

TEST(PreparedRejects, PatternBeyondTheSongsRows) {
  const std::vector<uint8_t> image = small_image();
  const PreparedTables t = tables_of(image);
  const uint64_t last = t.patterns + 5 * t.pattern_stride;
  ASSERT_EQ(get_le(image, last, 2) + get_le(image, last + 2, 2), get_le(image, 12, 4));
  std::vector<uint8_t> bad = image;
  put_le(bad, last + 2, get_le(image, last + 2, 2) + 1, 2);  // one row too many
  EXPECT_FALSE(loads(bad));
  bad = image;
  put_le(bad, last, get_le(image, last, 2) + 1, 2);  // starts one row too late
  EXPECT_FALSE(loads(bad));
  bad = image;
  put_le(bad, t.patterns, 0xFFFF, 2);  // far past the end, without wrapping
  put_le(bad, t.patterns + 2, 0xFFFF, 2);
  EXPECT_FALSE(loads(bad));
  bad = image;
  put_le(bad, t.patterns, 20, 2);  // shorter and overlapping patterns are fine
  put_le(bad, t.patterns + 2, 4, 2);
  EXPECT_TRUE(loads(bad));
}

TEST(PreparedRejects, SampleMapEntryNamingNoSample) {
  const std::vector<uint8_t> image = small_image();
  const PreparedTables t = tables_of(image);
  const uint64_t entry = t.instruments + t.instrument_stride + PREPARED_SAMPLE_MAP_OFFSET + 2 * 95;
  for (const auto& [sample, accepted] :
       std::vector<std::pair<uint16_t, bool>>{{2, true}, {NO_SAMPLE, true}, {3, false}, {0xFFFE, false}}) {
    std::vector<uint8_t> changed = image;
    put_le(changed, entry, sample, 2);
    EXPECT_EQ(loads(changed), accepted) << sample;
  }
}

TEST(PreparedRejects, SampleOutsideThePool) {
  const std::vector<uint8_t> image = small_image();
  const PreparedTables t = tables_of(image);
  const uint32_t pool = get_le(image, 16, 4);
  const uint64_t last = t.samples + 2 * t.sample_stride;
  const uint32_t length = get_le(image, last + 4, 4);
  std::vector<uint8_t> changed = image;
  put_le(changed, last, pool - length, 4);  // ends exactly at the pool's end
  EXPECT_TRUE(loads(changed));
  put_le(changed, last, pool - length + 1, 4);
  EXPECT_FALSE(loads(changed));
  put_le(changed, last, 0xFFFFFFFFu - 2, 4);  // a sum that wraps 32 bits
  EXPECT_FALSE(loads(changed));
}

TEST(PreparedRejects, SampleOverItsFrameLimit) {
  XmModule m = small_song();
  XmSample big;
  big.stored_length = MAX_SAMPLE_FRAMES;  // no data: reads as silence
  m.instruments[1].samples = {big, sample_of({1, 2, 3, 4})};
  const std::vector<uint8_t> image = prepared_image_of(*prepare(write_xm(m)));
  const PreparedTables t = tables_of(image);
  const uint64_t record = t.samples + 2 * t.sample_stride;
  ASSERT_EQ(get_le(image, record + 4, 4), MAX_SAMPLE_FRAMES);
  ASSERT_GT(get_le(image, 16, 4), MAX_SAMPLE_FRAMES + 1);  // the pool is not what rejects
  EXPECT_TRUE(loads(image));
  std::vector<uint8_t> changed = image;
  put_le(changed, record + 4, MAX_SAMPLE_FRAMES + 1, 4);
  EXPECT_FALSE(loads(changed));

  changed = image;
  changed[record + 12] |= 1;  // ping-pong halves the limit
  put_le(changed, record + 4, MAX_PING_PONG_SAMPLE_FRAMES, 4);
  EXPECT_TRUE(loads(changed));
  put_le(changed, record + 4, MAX_PING_PONG_SAMPLE_FRAMES + 1, 4);
  EXPECT_FALSE(loads(changed));
}

struct EnvelopeCase {
  std::vector<uint16_t> frames;
  uint8_t point_count, sustain, loop_start, loop_end;
  bool accepted;
};

TEST(PreparedRejects, MalformedEnvelopes) {
  const std::vector<uint8_t> image = small_image();
  const PreparedTables t = tables_of(image);
  const std::vector<uint16_t> twelve = {0, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144};
  const EnvelopeCase cases[] = {
      {{0, 10}, 2, NO_SUSTAIN, 0, 0, true},
      {twelve, 12, 11, 10, 11, true},
      {{0, 10, 20}, 3, 2, 0, 2, true},
      {{9, 9, 9}, 0, 77, 5, 3, true},  // off: nothing else is read
      {{0}, 1, NO_SUSTAIN, 0, 0, false},
      {twelve, 13, NO_SUSTAIN, 0, 0, false},
      {{0, 10, 10}, 3, NO_SUSTAIN, 0, 0, false},  // frames must rise
      {{0, 10, 5}, 3, NO_SUSTAIN, 0, 0, false},
      {{0, 10, 20}, 3, 3, 0, 0, false},  // sustain past the points
      {{0, 10, 20}, 3, 127, 0, 0, false},
      {{0, 10, 20}, 3, NO_SUSTAIN, 0, 3, false},  // loop end past the points
      {{0, 10, 20}, 3, NO_SUSTAIN, 1, 1, false},  // empty loop
      {{0, 10, 20}, 3, NO_SUSTAIN, 2, 1, false},
      {{0, 10, 20}, 3, NO_SUSTAIN, 1, 0, false},  // no loop, but a start
  };
  for (const uint64_t envelope : {t.instruments, t.instruments + t.instrument_stride + 52}) {
    for (const EnvelopeCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "envelope at " << envelope << ", " << int(c.point_count)
                                      << " points, sustain " << int(c.sustain) << ", loop "
                                      << int(c.loop_start) << ".." << int(c.loop_end));
      std::vector<uint8_t> changed = image;
      for (uint32_t i = 0; i < 12; i++) {
        put_le(changed, envelope + 4 * i, i < c.frames.size() ? c.frames[i] : 0, 2);
      }
      changed[envelope + 48] = c.point_count;
      changed[envelope + 49] = c.sustain;
      changed[envelope + 50] = c.loop_start;
      changed[envelope + 51] = c.loop_end;
      EXPECT_EQ(loads(changed), c.accepted);
    }
  }
}

TEST(PreparedRejects, StridesNarrowerThanTheirFields) {
  const LoadedSong original = small_context();
  const std::vector<uint8_t> image = small_image();
  // Re-laid out at the narrowest stride that holds the fields, and wider,
  // the song is unchanged; one unit narrower, it is rejected.
  const uint8_t narrowest[] = {1, 1, 38, 3};
  for (int table = 0; table < 4; table++) {
    SCOPED_TRACE(table);
    for (const uint8_t stride : {narrowest[table], uint8_t(narrowest[table] + 2)}) {
      auto song = load_image(with_stride(image, table, stride));
      ASSERT_TRUE(song) << int(stride);
      EXPECT_EQ(song->samples[2].relative_note, original->samples[2].relative_note);
      EXPECT_EQ(song->instruments[1].sample_of_note[95], original->instruments[1].sample_of_note[95]);
      EXPECT_EQ(song->cells[7].param, original->cells[7].param);
      EXPECT_EQ(song->patterns[5].row_count, original->patterns[5].row_count);
    }
    EXPECT_FALSE(loads(with_stride(image, table, uint8_t(narrowest[table] - 1))));
  }
  // A table without records needs no width.
  XmModule m = small_song();
  m.instruments.clear();
  const std::vector<uint8_t> bare = prepared_image_of(*prepare(write_xm(m)));
  ASSERT_EQ(bare[24], 0);
  EXPECT_TRUE(loads(with_stride(with_stride(bare, 2, 0), 3, 0)));
  // The writer refuses what the reader would reject.
  std::vector<uint8_t> refused = {1};
  EXPECT_FALSE(write_prepared_image(*original, {1, 1, 37, 3, 0}, refused));
  EXPECT_TRUE(refused.empty());
  EXPECT_FALSE(write_prepared_image(*original, {1, 1, 38, 2, 0}, refused));
  EXPECT_FALSE(write_prepared_image(*original, {0, 1, 38, 3, 0}, refused));
}

TEST(PreparedRejects, EveryTruncationAndCorruptedByteLoadsOrRejectsSafely) {
  const std::vector<uint8_t> image = small_image();
  ASSERT_EQ(tables_of(image).end, image.size());
  EXPECT_EQ(count_safe_prefixes(image), 1u);  // the whole image only
  std::vector<uint8_t> longer = image;
  longer.resize(image.size() + 100, 0xEE);  // bytes after the last table are not read
  EXPECT_TRUE(loads(longer));
  EXPECT_GT(count_safe_byte_changes(image, 0), 0u);
}

}  // namespace
