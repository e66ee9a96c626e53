// Gains, sample loops and the block mixer, the last checked bit for bit
// against a frame-by-frame mix written straight from the definition.
#include "effect_codes.h"
#include "mixer.h"
#include "replayer.h"
#include "replayer_test_song.h"
#include "published_song.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// One sample value of a channel, the position moved on, frame by frame.
float reference_fetch(const ModuleContext& song, ChannelState& channel) {
  if (!channel.sample || channel.past_end) return 0.0f;
  const Sample& s = *channel.sample;
  if (channel.position >= s.length * 4096) {
    if (s.loop_length == 0) return 0.0f;
    const uint32_t start = (s.length - s.loop_length) * 4096;
    const uint32_t span = s.loop_length * 4096 * (s.ping_pong ? 2 : 1);
    channel.position = start + (channel.position - start) % span;
  }
  const uint32_t j = channel.position >> 12;
  const uint32_t frame = (s.ping_pong && j >= s.length) ? 2 * s.length - j - 1 : j;
  const float value = float(song.sample_data[s.data_offset + frame]) * (1.0f / 32768.0f);
  channel.position += channel.step;
  return value;
}

void reference_render(ModuleContext& song, float* frames, uint32_t count) {
  for (uint32_t f = 0; f < count; f++) {
    float left = 0.0f, right = 0.0f;
    advance_clock(song);
    for (uint32_t c = 0; c < song.channel_count; c++) {
      ChannelState& channel = song.channels[c];
      const float s = reference_fetch(song, channel) * 0.25f;
      left = left + s * channel.gain_left;
      right = right + s * channel.gain_right;
    }
    frames[2 * f] = left;
    frames[2 * f + 1] = right;
  }
}

// Frames read by a channel of `spec` at unit gain, from `position` by `step`.
std::vector<int> frames_read(TestSampleSpec spec, uint32_t position, uint32_t step, uint32_t count) {
  TestSong song = make_song(1, {1}, {spec});
  ChannelState& channel = song->channels[0];
  channel.sample = &song->samples[0];
  channel.position = position;
  channel.step = step;
  channel.gain_left = channel.gain_right = 1.0f;
  std::vector<float> out(2 * count, 0.0f);
  mix_channel(*song, channel, out.data(), count);
  std::vector<int> read;
  for (uint32_t f = 0; f < count; f++) read.push_back(int(std::lround(out[2 * f] * 131072.0f)));
  return read;
}

TestSong centred_song(uint8_t default_panning, uint8_t panning, uint8_t panning_envelope) {
  TestSong song = make_song(1, {1});
  ChannelState& channel = song->channels[0];
  channel.volume = 64;
  channel.volume_envelope_value = 64;
  channel.fadeout_volume = 32767;
  channel.default_panning = default_panning;
  channel.panning = panning;
  channel.panning_envelope_value = panning_envelope;
  update_gains(*song, channel);
  return song;
}

}  // namespace

TEST(Gains, ConstantPowerPanningWithTheChannelsOwnSide) {
  const float full = 2147418112.0f / 2147483648.0f;
  TestSong centred = centred_song(128, 128, 32);
  EXPECT_NEAR(centred->channels[0].gain_left, 0.70708f, 1e-5);
  EXPECT_EQ(centred->channels[0].gain_left, centred->channels[0].gain_right);

  TestSong right = centred_song(255, 128, 32);  // P2 = 255
  EXPECT_FLOAT_EQ(right->channels[0].gain_left, full / 16.0f);
  EXPECT_FLOAT_EQ(right->channels[0].gain_right, std::sqrt(255.0f / 256.0f) * full);

  // A right-panned note with the envelope fully right would reach 256.
  TestSong beyond = centred_song(128, 255, 64);
  EXPECT_FLOAT_EQ(beyond->channels[0].gain_left, full / 16.0f);

  TestSong tremor = centred_song(128, 128, 32);
  tremor->channels[0].volume_offset = 64;
  update_gains(*tremor, tremor->channels[0]);
  EXPECT_EQ(tremor->channels[0].gain_left, 0.0f);
  tremor->channels[0].volume_offset = -20;  // never above full volume
  update_gains(*tremor, tremor->channels[0]);
  EXPECT_EQ(tremor->channels[0].gain_left, centred->channels[0].gain_left);
}

TEST(Gains, AFullScaleCentredNoteGivesAQuarterOfItsGain) {
  TestSong song = make_song(1, {4}, {constant_sample(2000, 32767)});
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, 0, 0});
  float frame[2];
  render_frames(*song, frame, 1);
  EXPECT_NEAR(frame[0], 0.1768f, 1e-4);
  EXPECT_EQ(frame[0], frame[1]);
}

TEST(Loops, ForwardPingPongAndStepsLongerThanTheLoop) {
  TestSampleSpec forward = counting_sample(500);
  forward.loop_length = 100;
  EXPECT_EQ(frames_read(forward, 498 * 4096, 4096, 5), (std::vector<int>{498, 499, 400, 401, 402}));
  EXPECT_EQ(frames_read(forward, 0, 250 * 4096, 6), (std::vector<int>{0, 250, 400, 450, 400, 450}));

  TestSampleSpec pong = forward;
  pong.ping_pong = true;
  std::vector<int> expected = {497, 498, 499};
  for (int f = 499; f >= 400; f--) expected.push_back(f);
  for (int f = 400; f < 410; f++) expected.push_back(f);
  EXPECT_EQ(frames_read(pong, 497 * 4096, 4096, uint32_t(expected.size())), expected);
  // Steps of 150 frames over a 200-frame round trip: 600 folds to 400, 550
  // is the backward frame 449, 700 folds to 500, the backward frame 499.
  EXPECT_EQ(frames_read(pong, 450 * 4096, 150 * 4096, 4), (std::vector<int>{450, 400, 449, 499}));
}

TEST(Loops, EndedAndBrokenSamplesStaySilentWithoutReadingOutside) {
  TestSong song = make_song(1, {1}, {counting_sample(10, 1)});
  ChannelState& channel = song->channels[0];
  channel.sample = &song->samples[0];
  channel.position = 9 * 4096;
  channel.step = 4096;
  channel.gain_left = channel.gain_right = 1.0f;
  std::vector<float> out(8, 0.0f);
  mix_channel(*song, channel, out.data(), 4);
  EXPECT_EQ(out[0] * 131072.0f, 10.0f);
  EXPECT_EQ(out[2], 0.0f);
  EXPECT_EQ(channel.position, 10u * 4096);
  channel.step = 100000;  // an ended sample stays ended
  mix_channel(*song, channel, out.data() + 2, 3);
  EXPECT_EQ(out[2] + out[4] + out[6], 0.0f);
  EXPECT_EQ(channel.position, 10u * 4096);

  for (int broken = 0; broken < 3; broken++) {
    Sample& s = song->samples[0];
    s = Sample{};
    s.length = 10;
    if (broken == 0) s.loop_length = 11;
    if (broken == 1) s.data_offset = 5;
    if (broken == 2) s.length = 1u << 20;
    channel.position = 0;
    std::fill(out.begin(), out.end(), 0.0f);
    mix_channel(*song, channel, out.data(), 4);
    for (float v : out) EXPECT_EQ(v, 0.0f) << broken;
  }
  channel.sample = &song->samples[0];
  song->samples[0] = Sample{0, 10, 0, 0, 64, 128, 0, 0};
  channel.position = 0;
  channel.past_end = 1;  // a sample offset beyond the end
  mix_channel(*song, channel, out.data(), 4);
  for (float v : out) EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(channel.position, 0u);
}

TEST(Blocks, TheBlockMixerEqualsTheFrameByFrameMixBitForBit) {
  TestSampleSpec forward = counting_sample(3000, -1500);
  forward.loop_length = 1000;
  TestSampleSpec pong = counting_sample(700, 9000);
  pong.loop_length = 37;
  pong.ping_pong = true;
  TestSampleSpec once = counting_sample(4000, -30000);
  TestSampleSpec tiny = constant_sample(3, -32768);
  tiny.loop_length = 1;
  auto build = [&] {
    TestSong song = make_song(5, {16, 16}, {forward, pong, once, tiny});
    song->bpm = 33;
    song->channel_panning[1] = 255;
    set_start_state(*song);
    put(*song, 0, 0, 0, {NOTE_C4, 1, 0, VIBRATO, 0x48});
    put(*song, 0, 0, 1, {NOTE_C4 + 30, 2, 0xC3, ARPEGGIO, 0x4C});
    put(*song, 0, 0, 2, {NOTE_C4 - 20, 3, 0x20, VOLUME_SLIDE, 0x20});
    put(*song, 0, 0, 3, {96, 4, 0, PORTA_DOWN, 0x10});
    put(*song, 0, 2, 4, {NOTE_C4, 2, 0, SAMPLE_OFFSET, 2});
    put(*song, 0, 3, 0, {0, 0, 0xE4, TREMOLO, 0x8F});
    put(*song, 0, 5, 1, {NOTE_KEY_OFF, 0, 0, SET_BPM, 200});
    put(*song, 1, 0, 2, {NOTE_C4 + 40, 3, 0, PORTA_UP, 0x20});
    put(*song, 1, 4, 4, {NOTE_C4 + 12, 1, 0, 0, 0});
    return song;
  };
  TestSong blocked = build();
  TestSong reference = build();
  const uint32_t total = 48000 * 6;
  std::vector<float> a(2 * total), b(2 * total);
  uint32_t done = 0;
  for (uint32_t size = 1; done < total; size = size * 7 % 10007 + 1) {
    const uint32_t n = std::min(size, total - done);
    render_frames(*blocked, a.data() + 2 * done, n);
    done += n;
  }
  reference_render(*reference, b.data(), total);
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
  double energy = 0;
  for (float v : a) energy += double(v) * v;
  EXPECT_GT(energy, 1.0);  // the comparison is of sound, not of silence
  EXPECT_EQ(song_position(*blocked).order_position, song_position(*reference).order_position);
}
