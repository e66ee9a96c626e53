// The embedded song played through the real replayer and mixer: its rows
// arrive at the frames the show's timeline is cut to, its levels leave
// headroom and stay comfortable, and every note it plays lies inside the
// sample it plays.
#include "effect_codes.h"
#include "embedded_assets.h"
#include "music_test_support.h"
#include "replayer.h"
#include "sequencing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t positions = 22;
constexpr uint32_t rows_per_position = 64;

// Rows 0 and 1 of every four run at 4 ticks, rows 2 and 3 at 2.
uint32_t ticks_before_row(uint32_t row) {
  uint32_t ticks = 0;
  for (uint32_t r = 0; r < row; r++) ticks += r % 4 < 2 ? 4 : 2;
  return ticks;
}

uint32_t ticks_before(uint32_t position, uint32_t row) {
  return position * ticks_before_row(rows_per_position) + ticks_before_row(row);
}

// The frame on which tick k runs: a tick lasts 2.5 / 104 s, which the
// clock keeps in 1/8192 frame, the fraction below that dropped once.
uint64_t frame_of_tick(uint32_t k) {
  const uint64_t tick_in_8192ths = uint64_t(OUTPUT_RATE) * 8192 * 5 / (2 * 104);
  return uint64_t(k) * tick_in_8192ths / 8192;
}

struct RowRead {
  uint16_t order_position;
  uint8_t row;
  uint64_t frame;
};

struct NoteFault {
  uint16_t order_position;
  uint8_t row;
  uint32_t channel;
  std::string what;
};

// One render of the whole song and a little beyond the loop back to its
// start, with everything the tests below look at gathered on the way.
struct Playback {
  bool loaded = false;
  std::vector<RowRead> rows;
  std::vector<NoteFault> faults;
  uint64_t show_end_frame = 0;
  double peak = 0;
  double sum_of_squares = 0;  // up to the show's end
  uint64_t frames_to_show_end = 0;
  bool finite = true;
  uint32_t largest_step = 0;
};

const PatternCell* row_cell(const ModuleContext& song, const RowRead& read, uint32_t channel) {
  const PatternInfo& pattern = song.patterns[song.order_table[read.order_position]];
  return &song.cells[(uint64_t(pattern.first_row) + read.row) * song.channel_count + channel];
}

bool slides_into(const PatternCell& cell) {
  return cell.effect == TONE_PORTA || cell.effect == TONE_PORTA_VOLUME_SLIDE ||
         (cell.volume_column >> 4) == 0xF;
}

// After a row has been read: a new note must have started the sample its
// instrument maps it to, and the note with the sample's relative note must
// lie inside the playable range.
void check_notes(const ModuleContext& song, const RowRead& read, Playback& out) {
  for (uint32_t c = 0; c < song.channel_count; c++) {
    const PatternCell& cell = *row_cell(song, read, c);
    if (cell.note < NOTE_FIRST || cell.note > NOTE_LAST || cell.effect == NOTE_DELAY) continue;
    const ChannelState& channel = song.channels[c];
    auto fault = [&](std::string what) {
      out.faults.push_back({read.order_position, read.row, c, std::move(what)});
    };
    if (channel.instrument_number == 0 || channel.instrument_number > song.instrument_count) {
      fault("note without an instrument");
      continue;
    }
    const Instrument& instrument = song.instruments[channel.instrument_number - 1];
    const uint16_t sample_index = instrument.sample_of_note[cell.note - 1];
    if (sample_index >= song.sample_count) {
      fault("note maps to no sample");
      continue;
    }
    const Sample& sample = song.samples[sample_index];
    const int32_t n = int32_t(cell.note) + sample.relative_note - 1;
    if (n < 0 || n > 118) fault("note " + std::to_string(n) + " outside the sample's range");
    if (!slides_into(cell) && channel.sample != &sample) fault("note did not start its sample");
  }
}

Playback play_embedded_song() {
  Playback out;
  LoadedSong song(prepare_module(asset_song_xm, uint32_t(asset_song_xm_size)));
  if (!song) return out;
  out.loaded = true;
  out.show_end_frame = frame_of_tick(ticks_before(21, 62));
  // The whole song, then two positions of the loop back to the start.
  const uint64_t total = frame_of_tick(ticks_before(positions + 2, 0));
  std::vector<float> block(2 * 4096);
  uint64_t frame = 0;
  bool pending_check = false;
  RowRead last{};
  while (frame < total) {
    uint32_t count = frames_before_tick(*song);
    if (count == 0) {
      if (tick_reads_row(*song)) {
        const RowPosition next = upcoming_row(*song);
        last = {next.order_position, next.row, frame};
        out.rows.push_back(last);
        pending_check = true;
      }
      count = 1;
    }
    count = uint32_t(std::min<uint64_t>({count, 4096, total - frame}));
    render_frames(*song, block.data(), count);
    if (pending_check) {
      check_notes(*song, last, out);
      pending_check = false;
    }
    for (uint32_t c = 0; c < song->channel_count; c++) {
      if (song->channels[c].sample) out.largest_step = std::max(out.largest_step, song->channels[c].step);
    }
    for (uint32_t i = 0; i < 2 * count; i++) {
      const double v = block[i];
      if (!std::isfinite(v)) out.finite = false;
      out.peak = std::max(out.peak, std::fabs(v));
      if (frame + i / 2 < out.show_end_frame) out.sum_of_squares += v * v;
    }
    frame += count;
  }
  out.frames_to_show_end = out.show_end_frame;
  return out;
}

const Playback& playback() {
  static const Playback result = play_embedded_song();
  return result;
}

double decibels(double amplitude) { return 20.0 * std::log10(amplitude); }

TEST(EmbeddedSongPlayback, ReadsEveryRowInOrderAndLoopsToTheStart) {
  const Playback& p = playback();
  ASSERT_TRUE(p.loaded);
  ASSERT_GE(p.rows.size(), size_t(positions * rows_per_position + 1));
  for (uint32_t i = 0; i <= positions * rows_per_position; i++) {
    const uint32_t position = (i / rows_per_position) % positions;
    const uint32_t row = i % rows_per_position;
    ASSERT_EQ(p.rows[i].order_position, position) << "row read " << i;
    ASSERT_EQ(p.rows[i].row, row) << "row read " << i;
  }
}

TEST(EmbeddedSongPlayback, KeyedRowsArriveOnTheFramesOfTheShufflePattern) {
  const Playback& p = playback();
  ASSERT_TRUE(p.loaded);
  // The rows where the timeline fades out, cuts, and ends the show.
  const std::vector<std::pair<uint16_t, uint8_t>> keyed = {
      {1, 40}, {2, 0}, {5, 40}, {6, 0}, {7, 40}, {8, 0}, {11, 40},
      {12, 0}, {15, 40}, {16, 0}, {19, 40}, {20, 0}, {21, 62}};
  std::map<std::pair<uint16_t, uint8_t>, uint64_t> first_read;
  for (const RowRead& r : p.rows) first_read.emplace(std::make_pair(r.order_position, r.row), r.frame);
  EXPECT_EQ(ticks_before(21, 62), 4220u);
  for (const auto& [position, row] : keyed) {
    const auto found = first_read.find({position, row});
    ASSERT_NE(found, first_read.end()) << position << "," << int(row);
    const uint32_t ticks = ticks_before(position, row);
    EXPECT_EQ(found->second, frame_of_tick(ticks)) << position << "," << int(row);
    // At most two frames before the exact time, 2.5 / 104 s per tick: the
    // dropped fraction costs about a third of a frame over the whole show.
    const double exact = ticks * 2.5 / 104.0 * OUTPUT_RATE;
    EXPECT_LE(double(found->second), exact) << position << "," << int(row);
    EXPECT_GT(double(found->second), exact - 2.0) << position << "," << int(row);
  }
  // The show ends about 101.44 s after the music starts.
  EXPECT_NEAR(double(first_read[{21, 62}]) / OUTPUT_RATE, 101.44, 0.01);
}

TEST(EmbeddedSongPlayback, LeavesHeadroomAndPlaysAtAComfortableLoudness) {
  const Playback& p = playback();
  ASSERT_TRUE(p.loaded);
  EXPECT_TRUE(p.finite);
  // The mixer does not clip: about 1 dB below full scale at most.
  EXPECT_LT(decibels(p.peak), -1.0);
  const double rms = std::sqrt(p.sum_of_squares / double(2 * p.frames_to_show_end));
  EXPECT_GT(decibels(rms), -18.0);
  EXPECT_LT(decibels(rms), -12.0);
}

TEST(EmbeddedSongPlayback, EveryNoteLiesInsideItsSample) {
  const Playback& p = playback();
  ASSERT_TRUE(p.loaded);
  for (const NoteFault& f : p.faults) {
    ADD_FAILURE() << "position " << f.order_position << " row " << int(f.row) << " channel "
                  << f.channel << ": " << f.what;
  }
  // Without interpolation, a sample read much faster than once per output
  // frame turns to noise: no voice runs more than two octaves above its
  // recorded rate.
  EXPECT_LE(p.largest_step, 4u * 4096u);
}

}  // namespace
