// A short MOD and a short S3M played through the replayer: rows are read on
// the frames the tempo and BPM give, notes sound at the pitch their period
// and sample tuning give, and cut notes fall silent on their row.
#include "mod_writer.h"
#include "music_test_support.h"
#include "replayer.h"
#include "s3m_writer.h"
#include "published_song.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Playback {
  std::vector<float> frames;     // left, right
  std::vector<uint32_t> row_reads;  // frames on which a row was read
};

Playback play(ModuleContext& song, uint32_t frame_count) {
  Playback out;
  out.frames.resize(2 * size_t(frame_count));
  SongPosition at = song_position(song);
  for (uint32_t f = 0; f < frame_count; f++) {
    render_frames(song, &out.frames[2 * size_t(f)], 1);
    const SongPosition now = song_position(song);
    if (now.row != at.row || now.order_position != at.order_position) out.row_reads.push_back(f);
    at = now;
  }
  return out;
}

// Frequency of the left channel between two frames, from the first to the
// last rising zero crossing.
double frequency(const Playback& p, uint32_t from, uint32_t to) {
  int64_t first = -1, last = -1, crossings = 0;
  for (uint32_t f = from + 1; f < to; f++) {
    if (p.frames[2 * (f - 1)] < 0 && p.frames[2 * f] >= 0) {
      if (first < 0) first = f;
      last = f;
      crossings++;
    }
  }
  if (crossings < 2) return 0;
  return double(crossings - 1) * OUTPUT_RATE / double(last - first);
}

double peak(const Playback& p, uint32_t from, uint32_t to, int side) {
  double largest = 0;
  for (uint32_t f = from; f < to; f++) largest = std::fmax(largest, std::fabs(p.frames[2 * f + side]));
  return largest;
}

std::vector<uint32_t> every(uint32_t step, uint32_t count) {
  std::vector<uint32_t> frames;
  for (uint32_t i = 0; i < count; i++) frames.push_back(i * step);
  return frames;
}

// A square wave of two 32-frame cycles, as signed bytes.
std::vector<int8_t> square_bytes() {
  std::vector<int8_t> bytes;
  for (int i = 0; i < 64; i++) bytes.push_back(i % 32 < 16 ? 100 : -100);
  return bytes;
}

// The Amiga's colour clock: a period counts its half-cycles.
constexpr double amiga_clock = 7093789.2;

TEST(ModS3mPlayback, ModRowsAndPitch) {
  ModModule m;
  m.patterns = {mod_pattern(4, {
      {0, {428, 1, 0, 0}},
      {1, {0, 0, 0xF, 3}},       // three ticks a row: 2880 frames at 125 BPM
      {2 * 4, {0, 0, 0xC, 0}},   // silence from row 2
      {4 * 4, {214, 1, 0, 0}},   // an octave up from row 4
  })};
  m.samples[0].length_words = 32;
  m.samples[0].loop_length_words = 32;
  m.samples[0].data = square_bytes();
  auto song = prepare(write_mod(m));
  ASSERT_TRUE(song);
  const uint32_t row = 2880;
  const Playback p = play(*song, 8 * row);
  EXPECT_EQ(p.row_reads, every(row, 8));

  const double c3 = amiga_clock / (2 * 428) / 32;
  EXPECT_NEAR(frequency(p, 0, 2 * row), c3, c3 * 0.005);
  EXPECT_NEAR(frequency(p, 4 * row, 8 * row), 2 * c3, 2 * c3 * 0.005);
  EXPECT_GT(peak(p, 0, 2 * row, 0), 0.1);
  EXPECT_LT(peak(p, 0, 2 * row, 1), peak(p, 0, 2 * row, 0) * 0.1);  // channel 0 is on the left
  EXPECT_EQ(peak(p, 2 * row, 4 * row, 0), 0.0);
  EXPECT_GT(peak(p, 4 * row, 4 * row + 400, 0), 0.1);
}

TEST(ModS3mPlayback, S3mRowsAndPitch) {
  S3mModule m;
  m.speed = 3;
  m.tempo = 150;  // 800-frame ticks, 2400-frame rows
  m.channel_settings.fill(255);
  m.channel_settings[0] = 0;
  m.channel_settings[1] = 8;
  S3mSample plain;
  plain.length = 64;
  plain.loop_end = 64;
  plain.flags = 1;
  for (int8_t b : square_bytes()) plain.data.push_back(uint8_t(b));
  S3mSample octave = plain;
  octave.c2_rate = 16726;
  m.instruments = {plain, octave};
  m.patterns = {s3m_pattern({
      {0, {0, s3m_note(4, 0), 1}},
      {2, {0, 254, 0}},            // note cut
      {4, {0, s3m_note(4, 0), 2}},  // the same note of the sample tuned an octave up
  })};
  auto song = prepare(write_s3m(m));
  ASSERT_TRUE(song);
  const uint32_t row = 2400;
  const Playback p = play(*song, 8 * row);
  EXPECT_EQ(p.row_reads, every(row, 8));

  // C-4 is period 1712 in quarter Amiga periods: 428 Amiga periods.
  const double c4 = amiga_clock / (2 * 428) / 32;
  EXPECT_NEAR(frequency(p, 0, 2 * row), c4, c4 * 0.005);
  EXPECT_NEAR(frequency(p, 4 * row, 8 * row), 2 * c4, 2 * c4 * 0.005);
  EXPECT_GT(peak(p, 0, 2 * row, 0), peak(p, 0, 2 * row, 1) * 1.5);  // panned 51: left of centre
  EXPECT_EQ(peak(p, 2 * row, 4 * row, 0), 0.0);
  EXPECT_GT(peak(p, 4 * row, 4 * row + 400, 0), 0.1);
}

}  // namespace
