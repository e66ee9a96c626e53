// The clock, rows, the order table and triggers, observed through the song
// position and the channel records.
#include "effect_codes.h"
#include "replayer.h"
#include "replayer_test_song.h"
#include "published_song.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Output frames at which the song's row changes, rendering frame by frame
// at tempo 1 (one row per tick).
std::vector<uint32_t> tick_frames(uint8_t bpm, uint32_t frame_count) {
  TestSong song = make_song(1, {255});
  song->tempo = 1;
  song->bpm = bpm;
  std::vector<uint32_t> frames;
  float frame[2];
  uint8_t row = song_position(*song).row;
  for (uint32_t f = 0; f < frame_count; f++) {
    render_frames(*song, frame, 1);
    if (song_position(*song).row != row) frames.push_back(f);
    row = song_position(*song).row;
  }
  return frames;
}

// The (order position, row) of every row read during `ticks` ticks.
std::vector<std::pair<int, int>> rows_read(ModuleContext& song, uint32_t ticks) {
  std::vector<std::pair<int, int>> read;
  for (uint32_t t = 0; t < ticks; t++) {
    if (tick_reads_row(song)) {
      const RowPosition next = upcoming_row(song);
      read.emplace_back(next.order_position, next.row);
    }
    run_tick(song);
  }
  return read;
}

}  // namespace

TEST(Clock, TickLengthsFollowTheBpmWithTheFractionCarried) {
  EXPECT_EQ(tick_frames(125, 2900), (std::vector<uint32_t>{0, 960, 1920, 2880}));
  EXPECT_EQ(tick_frames(150, 2500), (std::vector<uint32_t>{0, 800, 1600, 2400}));
  // 33 BPM: 29789090 / 8192 = 3636.36... frames, so the gaps are 3636 and
  // 3637 as the remainder accumulates: floor(k * 29789090 / 8192).
  EXPECT_EQ(tick_frames(33, 11000), (std::vector<uint32_t>{0, 3636, 7272, 10909}));
}

TEST(Clock, BlocksOfAnySizeTickOnTheSameFrames) {
  TestSong whole = make_song(1, {255});
  TestSong pieces = make_song(1, {255});
  whole->bpm = pieces->bpm = 33;
  std::vector<float> a(2 * 20000), b(2 * 20000);
  render_frames(*whole, a.data(), 20000);
  uint32_t done = 0;
  for (uint32_t size : {1u, 3635u, 1u, 2u, 7000u, 9361u}) {
    render_frames(*pieces, b.data() + 2 * done, size);
    done += size;
  }
  ASSERT_EQ(done, 20000u);
  EXPECT_EQ(whole->tick_remainder, pieces->tick_remainder);
  EXPECT_EQ(whole->tick, pieces->tick);
  EXPECT_EQ(song_position(*whole).row, song_position(*pieces).row);
}

TEST(Clock, ABpmOfZeroAndATempoOfZeroStillPlay) {
  TestSong song = make_song(1, {64});
  song->bpm = 0;
  std::vector<float> frames(2 * 4000);
  render_frames(*song, frames.data(), 4000);  // one tick, then a very long one
  EXPECT_EQ(song_position(*song).row, 1);
  EXPECT_EQ(song->tick_remainder, 48000u * 20480u - 8192u * 4000u);

  TestSong fast = make_song(1, {64});
  fast->tempo = 0;  // behaves like 1: a row per tick
  run_ticks(*fast, 3);
  EXPECT_EQ(song_position(*fast).row, 3);
}

TEST(Rows, PatternDelayRepeatsTheRowAndRunsLaterTickActionsOnItsRepeats) {
  TestSong song = make_song(2, {8}, {constant_sample(100, 1000)});
  put(*song, 0, 0, 0, {0, 0, 0, PATTERN_DELAY, 2});
  put(*song, 0, 0, 1, {NOTE_C4, 1, 0x50, VOLUME_SLIDE, 0x01});
  ChannelState& sliding = song->channels[1];
  run_ticks(*song, 7);  // later ticks 1..5 and the first tick of the first repeat
  EXPECT_EQ(sliding.volume, 64 - 6);
  run_ticks(*song, 11);
  EXPECT_EQ(sliding.volume, 64 - 17);  // 18 ticks, all but the very first
  EXPECT_EQ(song_position(*song).row, 1);       // row 1 not read yet
  run_ticks(*song, 1);
  EXPECT_EQ(song_position(*song).row, 2);
}

TEST(Rows, TheLongestPatternDelayStillEnds) {
  // 255 extra repeats: 256 times the row, though the repeat counter is a byte.
  TestSong song = make_song(1, {8});
  song->tempo = 1;
  put(*song, 0, 0, 0, {0, 0, 0, PATTERN_DELAY, 255});
  std::vector<int> reads;
  for (int t = 0; t < 600; t++) {
    if (tick_reads_row(*song)) reads.push_back(t);
    run_tick(*song);
  }
  // Rows 1..7 follow a tick apart, then row 0 delays again.
  const std::vector<int> expected = {0,   256, 257, 258, 259, 260, 261, 262, 263,
                                     519, 520, 521, 522, 523, 524, 525, 526};
  EXPECT_EQ(reads, expected);
}

// The timeline reads the position on its own thread while the replayer
// moves on.  Every pair published here changes both halves (position k,
// row k mod 256), so a pair put together from two publications breaks
// row == position mod 256; a writer and a reader running flat out on two
// cores straddle each other's stores thousands of times a second.
TEST(Rows, AReaderOnAnotherThreadSeesOnlyPairsThatWerePublished) {
  TestSong song = make_song(1, {64});
  std::atomic<bool> reading{true};
  std::thread writer([&] {
    for (uint32_t k = 1; reading.load(std::memory_order_relaxed); k++) {
      song->order_position = uint16_t(k);
      song->row = uint8_t(k);
      publish_song_position(*song);
    }
  });
  // Read until the writer has been caught moving on between reads often
  // enough that the two threads surely overlapped, or for at most 20 s (an
  // emulator, or a machine that never runs them side by side, gets fewer).
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  uint64_t moves = 0, torn = 0, reads = 0;
  SongPosition example = {}, last = {};
  for (; moves < 200000; reads++) {
    if (reads % 65536 == 0 && std::chrono::steady_clock::now() > give_up) break;
    const SongPosition read = song_position(*song);
    moves += read.order_position != last.order_position;
    last = read;
    if (read.row != uint8_t(read.order_position) && torn++ == 0) example = read;
  }
  reading.store(false);
  writer.join();
  EXPECT_EQ(torn, 0u) << "of " << reads << " reads, e.g. position " << example.order_position << " with row "
                      << int(example.row);
}

TEST(Rows, AJumpSelectsThePositionAndABreakRowCountsOnlyAfterIt) {
  // Break first, jump later: the jump's next row 0 wins.
  TestSong song = make_song(2, {8, 8, 8});
  song->tempo = 1;
  put(*song, 0, 0, 0, {0, 0, 0, PATTERN_BREAK, 5});
  put(*song, 0, 0, 1, {0, 0, 0, POSITION_JUMP, 2});
  run_ticks(*song, 1);
  // While the jumping row plays, the position still names it.
  EXPECT_EQ(song_position(*song).order_position, 0);
  EXPECT_EQ(song_position(*song).row, 1);
  EXPECT_EQ(rows_read(*song, 1), (std::vector<std::pair<int, int>>{{2, 0}}));

  // Jump first, break later: the jump's position with the break's row.
  TestSong other = make_song(2, {8, 8, 8});
  other->tempo = 1;
  put(*other, 0, 0, 0, {0, 0, 0, POSITION_JUMP, 2});
  put(*other, 0, 0, 1, {0, 0, 0, PATTERN_BREAK, 5});
  run_ticks(*other, 1);
  EXPECT_EQ(rows_read(*other, 1), (std::vector<std::pair<int, int>>{{2, 5}}));
}

TEST(Rows, PatternEndsRestartAndBreakTargetsBeyondThePattern) {
  TestSong song = make_song(1, {2, 3});
  song->tempo = 1;
  song->restart_position = 1;
  put(*song, 1, 1, 0, {0, 0, 0, PATTERN_BREAK, 40});  // beyond pattern 1's three rows
  EXPECT_EQ(rows_read(*song, 6),
            (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 0}, {1, 1}}));
  // The last row of pattern 0 plays with the position already moved on.
  TestSong other = make_song(1, {2, 3});
  other->tempo = 1;
  run_ticks(*other, 2);
  EXPECT_EQ(song_position(*other).order_position, 1);
  EXPECT_EQ(uint8_t(song_position(*other).row - 1), 255);
}

TEST(Rows, PatternLoopRepeatsAndItsStartCarriesIntoTheNextPattern) {
  TestSong song = make_song(1, {4, 4});
  song->tempo = 1;
  put(*song, 0, 1, 0, {0, 0, 0, PATTERN_LOOP, 0});
  put(*song, 0, 2, 0, {0, 0, 0, PATTERN_LOOP, 2});
  EXPECT_EQ(rows_read(*song, 10),
            (std::vector<std::pair<int, int>>{
                {0, 0}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3}, {1, 1}, {1, 2}}));

  TestSong here = make_song(1, {4});
  here->tempo = 1;
  put(*here, 0, 2, 0, {0, 0, 0, PATTERN_LOOP_HERE, 1});
  EXPECT_EQ(rows_read(*here, 5),
            (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {0, 2}, {0, 2}, {0, 3}}));
}

TEST(Triggers, ANoteStartsTheSampleAtItsPeriod) {
  TestSampleSpec spec = constant_sample(100, 1);
  spec.finetune = 8;
  spec.relative_note = 2;
  TestSong song = make_song(1, {4}, {spec});
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, 0, 0});
  run_ticks(*song, 1);
  const ChannelState& channel = song->channels[0];
  EXPECT_EQ(channel.sample, &song->samples[0]);
  EXPECT_EQ(channel.note, NOTE_C4);
  EXPECT_EQ(channel.finetune, 8);
  // Two and a half semitones above C-4's 8363 Hz: the relative note and finetune.
  EXPECT_NEAR(channel.step, 8363.0 * std::pow(2.0, 2.5 / 12) * 4096 / 48000, 1.0);
  EXPECT_EQ(channel.volume, 64);
  EXPECT_EQ(channel.key_on, 1);

  TestSong amiga = make_song(1, {4}, {constant_sample(100, 1)});
  amiga->amiga_frequencies = 1;
  EXPECT_EQ(note_period(*amiga, 0), 27392);
  EXPECT_EQ(note_period(*amiga, 48 * 16), 1712);
}

TEST(Triggers, InvalidInstrumentsNotesAndMapsSilenceOrKeepTheChannel) {
  TestSampleSpec high = constant_sample(100, 1);
  high.relative_note = 40;
  TestSong song = make_song(4, {4}, {constant_sample(100, 1), high});
  song->instruments[0].sample_of_note[NOTE_C4] = NO_SAMPLE;  // the note above C-4
  put(*song, 0, 0, 0, {NOTE_RETRIGGER, 1, 0, 0, 0});         // no note played yet
  put(*song, 0, 0, 1, {NOTE_C4, 9, 0, 0, 0});                // no such instrument
  put(*song, 0, 0, 2, {NOTE_C4 + 1, 1, 0, 0, 0});            // maps to no sample
  put(*song, 0, 0, 3, {NOTE_C4, 1, 0, 0, 0});
  put(*song, 0, 1, 3, {96, 2, 0, 0, 0});                     // transposed beyond B-9
  run_ticks(*song, 1);
  for (int c = 0; c < 3; c++) {
    EXPECT_EQ(song->channels[c].sample, nullptr) << c;
    EXPECT_EQ(song->channels[c].volume, 0) << c;
  }
  run_ticks(*song, 6);
  EXPECT_EQ(song->channels[3].sample, &song->samples[0]);  // the old sample plays on
}

TEST(Triggers, AnInstrumentAloneRestoresVolumeAndEnvelopesButNotThePosition) {
  TestSong song = make_song(1, {4}, {constant_sample(5000, 1)});
  song->tempo = 1;
  song->instruments[0].fadeout = 1000;
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, SET_VOLUME, 20});
  put(*song, 0, 1, 0, {0, 1, 0, 0, 0});
  put(*song, 0, 2, 0, {NOTE_KEY_OFF, 1, 0, 0, 0});
  std::vector<float> frames(2 * 961);
  render_frames(*song, frames.data(), 961);
  const ChannelState& channel = song->channels[0];
  EXPECT_EQ(channel.volume, 64);
  EXPECT_EQ(channel.position, 961u * 714u);  // still running from the note's start
  // Key off with the instrument, no volume envelope: the volume is cut and
  // then restored, the key stays released and the fadeout starts at once.
  run_ticks(*song, 1);
  EXPECT_EQ(channel.key_on, 0);
  EXPECT_EQ(channel.volume, 64);
  EXPECT_EQ(channel.fadeout_volume, 32767 - 1000);
}
