// The prepared-image round trip, and the test environment that applies it to
// every module image the binary's tests write.
#include "module_round_trip.h"

#include "load_module.h"
#include "prepared_reader.h"
#include "recorded_modules.h"
#include "replayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct FreeContext {
  void operator()(ModuleContext* context) const { std::free(context); }
};
using Song = std::unique_ptr<ModuleContext, FreeContext>;

#define EXPECT_SAME(field) EXPECT_EQ(expected.field, actual.field) << #field

void expect_same_envelope(const Envelope& expected, const Envelope& actual) {
  for (uint32_t i = 0; i < MAX_ENVELOPE_POINTS; i++) {
    EXPECT_SAME(points[i].frame) << " point " << i;
    EXPECT_SAME(points[i].value) << " point " << i;
  }
  EXPECT_SAME(point_count);
  EXPECT_SAME(sustain_point);
  EXPECT_SAME(loop_start);
  EXPECT_SAME(loop_end);
}

void expect_same_instrument(const Instrument& expected, const Instrument& actual) {
  {
    SCOPED_TRACE("volume envelope");
    expect_same_envelope(expected.volume_envelope, actual.volume_envelope);
  }
  {
    SCOPED_TRACE("panning envelope");
    expect_same_envelope(expected.panning_envelope, actual.panning_envelope);
  }
  for (uint32_t n = 0; n < 96; n++) EXPECT_SAME(sample_of_note[n]) << " note " << n;
  EXPECT_SAME(fadeout);
  EXPECT_SAME(vibrato_waveform);
  EXPECT_SAME(vibrato_sweep);
  EXPECT_SAME(vibrato_depth);
  EXPECT_SAME(vibrato_rate);
}

void expect_same_sample(const Sample& expected, const Sample& actual) {
  EXPECT_SAME(data_offset);
  EXPECT_SAME(length);
  EXPECT_SAME(loop_length);
  EXPECT_SAME(ping_pong);
  EXPECT_SAME(volume);
  EXPECT_SAME(panning);
  EXPECT_SAME(finetune);
  EXPECT_SAME(relative_note);
}

// Round-trips every module the tests of this binary wrote, once with each
// layout, after the tests have run.
class RoundTripEveryRecordedModule : public ::testing::Environment {
 public:
  void SetUp() override { recorded_modules = &images_; }
  void TearDown() override {
    recorded_modules = nullptr;
    for (size_t i = 0; i < images_.size(); i++) {
      SCOPED_TRACE("recorded module " + std::to_string(i));
      expect_round_trip(images_[i], narrow_layout, 2 * OUTPUT_RATE);
      expect_round_trip(images_[i], wide_layout, OUTPUT_RATE / 2);
    }
  }

 private:
  std::vector<std::vector<uint8_t>> images_;
};

[[maybe_unused]] const ::testing::Environment* const round_trip_environment =
    ::testing::AddGlobalTestEnvironment(new RoundTripEveryRecordedModule);

}  // namespace

void expect_same_song(const ModuleContext& expected, const ModuleContext& actual) {
  EXPECT_SAME(sample_data_length);
  EXPECT_SAME(row_count);
  EXPECT_SAME(song_length);
  EXPECT_SAME(pattern_count);
  EXPECT_SAME(sample_count);
  EXPECT_SAME(channel_count);
  EXPECT_SAME(instrument_count);
  EXPECT_SAME(restart_position);
  EXPECT_SAME(default_tempo);
  EXPECT_SAME(default_bpm);
  EXPECT_SAME(default_global_volume);
  EXPECT_SAME(amiga_frequencies);
  EXPECT_SAME(fast_volume_slides);
  // Order entries past the song's end and pannings past its channels are
  // never read, so only the used ones must survive.
  const uint32_t positions = std::min<uint32_t>(expected.song_length, MAX_SONG_LENGTH);
  for (uint32_t i = 0; i < positions; i++) EXPECT_SAME(order_table[i]) << " position " << i;
  for (uint32_t c = 0; c < expected.channel_count; c++) {
    EXPECT_SAME(channel_panning[c]) << " channel " << c;
    EXPECT_SAME(channels[c].default_panning) << " channel " << c;
  }
  EXPECT_SAME(tick_remainder);
  EXPECT_SAME(output_rate);
  EXPECT_SAME(order_position);
  EXPECT_SAME(tick);
  EXPECT_SAME(row);
  EXPECT_SAME(global_volume);
  EXPECT_SAME(tempo);
  EXPECT_SAME(bpm);
  // The counts size the loops below.
  if (expected.row_count != actual.row_count || expected.channel_count != actual.channel_count ||
      expected.pattern_count != actual.pattern_count ||
      expected.instrument_count != actual.instrument_count ||
      expected.sample_count != actual.sample_count ||
      expected.sample_data_length != actual.sample_data_length) {
    return;
  }

  for (uint32_t p = 0; p < expected.pattern_count; p++) {
    EXPECT_SAME(patterns[p].first_row) << " pattern " << p;
    EXPECT_SAME(patterns[p].row_count) << " pattern " << p;
  }
  const uint64_t cells = uint64_t(expected.row_count) * expected.channel_count;
  for (uint64_t i = 0; i < cells; i++) {
    const PatternCell& e = expected.cells[i];
    const PatternCell& a = actual.cells[i];
    if (std::memcmp(&e, &a, sizeof e) != 0) {
      ADD_FAILURE() << "cell " << i << " differs: note " << int(e.note) << "/" << int(a.note)
                    << " instrument " << int(e.instrument) << "/" << int(a.instrument)
                    << " volume " << int(e.volume_column) << "/" << int(a.volume_column)
                    << " effect " << int(e.effect) << "/" << int(a.effect) << " param "
                    << int(e.param) << "/" << int(a.param);
      break;
    }
  }
  for (uint32_t i = 0; i < expected.instrument_count; i++) {
    SCOPED_TRACE("instrument " + std::to_string(i));
    expect_same_instrument(expected.instruments[i], actual.instruments[i]);
  }
  for (uint32_t s = 0; s < expected.sample_count; s++) {
    SCOPED_TRACE("sample " + std::to_string(s));
    expect_same_sample(expected.samples[s], actual.samples[s]);
  }
  for (uint32_t f = 0; f < expected.sample_data_length; f++) {
    if (expected.sample_data[f] != actual.sample_data[f]) {
      ADD_FAILURE() << "sample frame " << f << ": " << expected.sample_data[f] << " became "
                    << actual.sample_data[f];
      break;
    }
  }
}

void expect_same_frames(ModuleContext& expected, ModuleContext& actual, uint32_t frames) {
  constexpr uint32_t chunk = 4096;
  std::vector<float> a(2 * chunk), b(2 * chunk);
  for (uint32_t done = 0; done < frames; done += chunk) {
    const uint32_t count = std::min(chunk, frames - done);
    render_frames(expected, a.data(), count);
    render_frames(actual, b.data(), count);
    if (std::memcmp(a.data(), b.data(), 2 * count * sizeof(float)) != 0) {
      uint32_t i = 0;
      while (std::memcmp(&a[i], &b[i], sizeof(float)) == 0) i++;
      ADD_FAILURE() << "output differs from frame " << done + i / 2 << ": " << a[i] << " vs "
                    << b[i];
      return;
    }
  }
}

void expect_round_trip(const std::vector<uint8_t>& module, const PreparedLayout& layout,
                       uint32_t frames) {
  Song original(prepare_module(module.data(), uint32_t(module.size())));
  if (!original) return;
  std::vector<uint8_t> image;
  if (!write_prepared_image(*original, layout, image)) {
    // The one song the image cannot hold: a pattern starting past 16 bits.
    bool far_pattern = false;
    for (uint32_t p = 0; p < original->pattern_count; p++) {
      far_pattern = far_pattern || original->patterns[p].first_row > PREPARED_MAX_FIRST_ROW;
    }
    EXPECT_TRUE(far_pattern) << "the writer refused a song it can store";
    EXPECT_TRUE(image.empty());
    return;
  }
  ASSERT_EQ(detect_module_format(image.data(), uint32_t(image.size())), MODULE_FORMAT_PREPARED);
  Song copy(prepare_module(image.data(), uint32_t(image.size())));
  ASSERT_TRUE(copy) << "the prepared image of a loaded song was rejected";
  expect_same_song(*original, *copy);
  expect_same_frames(*original, *copy, frames);
}
