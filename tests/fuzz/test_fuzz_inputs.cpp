// The seeds the fuzzers start from must load as their own format and keep
// every promise while they play, or fuzzing would start from rejected bytes;
// and the promise checks must catch the faults they are there to report.
#include "fuzz_seeds.h"
#include "load_module.h"
#include "module_workout.h"
#include "song_invariants.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(FuzzSeeds, EachLoadsAsItsFormatAndPlaysSoundly) {
  const std::vector<FuzzSeed> seeds = fuzz_seeds();
  ASSERT_FALSE(seeds.empty());
  for (const FuzzSeed& seed : seeds) {
    EXPECT_EQ(detect_module_format(seed.bytes.data(), uint32_t(seed.bytes.size())), seed.format)
        << seed.name;
    const WorkoutResult result = work_out_module(seed.bytes.data(), seed.bytes.size(), 3);
    EXPECT_TRUE(result.loaded) << seed.name;
    EXPECT_EQ(result.fault, nullptr) << seed.name << ": " << result.fault;
  }
}

TEST(SongPromises, CorruptedSongsAreNoticed) {
  // The fuzzers only see in-block faults through these checks.
  const FuzzSeed seed = fuzz_seeds()[1];  // the one with envelopes
  ModuleContext* song = prepare_module(seed.bytes.data(), uint32_t(seed.bytes.size()));
  ASSERT_NE(song, nullptr);
  ASSERT_EQ(broken_loading_promise(*song), nullptr);
  ASSERT_EQ(broken_playing_promise(*song), nullptr);

  Sample& sample = song->samples[0];
  const Sample kept_sample = sample;
  sample.data_offset = song->sample_data_length - sample.length + 1;
  EXPECT_STREQ(broken_loading_promise(*song), "sample reaches past the sample pool");
  sample = kept_sample;

  Envelope& envelope = song->instruments[0].volume_envelope;
  const Envelope kept_envelope = envelope;
  envelope.points[1].frame = envelope.points[0].frame;
  EXPECT_STREQ(broken_loading_promise(*song), "envelope frames do not rise");
  envelope = kept_envelope;
  envelope.loop_end = envelope.point_count;
  EXPECT_STREQ(broken_loading_promise(*song), "envelope loop past the last point");
  envelope = kept_envelope;

  song->order_table[0] = uint8_t(song->pattern_count);
  EXPECT_STREQ(broken_loading_promise(*song), "order names a missing pattern");
  song->order_table[0] = 0;
  EXPECT_EQ(broken_loading_promise(*song), nullptr);

  song->jump_pending = 1;
  song->jump_order = uint8_t(song->song_length);
  EXPECT_STREQ(broken_playing_promise(*song), "next order position past the song");
  song->jump_pending = 0;
  song->channels[1].sample = song->samples + song->sample_count;
  EXPECT_STREQ(broken_playing_promise(*song), "channel plays a sample outside the song");
  std::free(song);
}

}  // namespace
