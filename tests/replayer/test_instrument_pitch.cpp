// Envelopes, fadeout, autovibrato and the pitch update.
#include "effect_codes.h"
#include "instrument_update.h"
#include "pitch.h"
#include "replayer_test_song.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

Envelope envelope_of(std::vector<std::pair<uint16_t, uint8_t>> points, uint8_t sustain = NO_SUSTAIN,
                     uint8_t loop_start = 0, uint8_t loop_end = 0) {
  Envelope envelope{};
  for (size_t i = 0; i < points.size(); i++) envelope.points[i] = {points[i].first, points[i].second};
  envelope.point_count = uint8_t(points.size());
  envelope.sustain_point = sustain;
  envelope.loop_start = loop_start;
  envelope.loop_end = loop_end;
  return envelope;
}

std::vector<int> envelope_run(const Envelope& envelope, uint16_t& position, bool key_on, int ticks) {
  std::vector<int> values;
  for (int t = 0; t < ticks; t++) values.push_back(envelope_value(envelope, position, key_on));
  return values;
}

}  // namespace

TEST(Envelopes, LinearSegmentsTruncateAndHoldTheLastPoint) {
  const Envelope fall = envelope_of({{0, 64}, {10, 0}});
  uint16_t position = 0;
  EXPECT_EQ(envelope_run(fall, position, true, 12),
            (std::vector<int>{64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0}));
  // Before a first point that is not at frame 0, its value holds.
  const Envelope late = envelope_of({{4, 40}, {8, 20}});
  position = 0;
  EXPECT_EQ(envelope_run(late, position, true, 7), (std::vector<int>{40, 40, 40, 40, 40, 35, 30}));
}

TEST(Envelopes, SustainHoldsUntilKeyOffAndLoopsObeyTheSustainPoint) {
  const Envelope held = envelope_of({{0, 0}, {4, 40}, {8, 0}}, 1);
  uint16_t position = 0;
  EXPECT_EQ(envelope_run(held, position, true, 7), (std::vector<int>{0, 10, 20, 30, 40, 40, 40}));
  EXPECT_EQ(envelope_run(held, position, false, 3), (std::vector<int>{40, 30, 20}));

  // A loop ending on the sustain point stops looping after key off.
  const Envelope on_sustain = envelope_of({{0, 0}, {2, 20}, {4, 40}, {6, 0}}, 2, 1, 2);
  position = 0;
  EXPECT_EQ(envelope_run(on_sustain, position, true, 7),
            (std::vector<int>{0, 10, 20, 30, 20, 30, 20}));
  EXPECT_EQ(envelope_run(on_sustain, position, false, 4), (std::vector<int>{30, 40, 20, 0}));

  // A loop ending elsewhere keeps looping after key off.
  const Envelope elsewhere = envelope_of({{0, 0}, {2, 20}, {4, 40}, {6, 0}}, 1, 1, 2);
  position = 3;
  EXPECT_EQ(envelope_run(elsewhere, position, false, 6), (std::vector<int>{30, 20, 30, 20, 30, 20}));
}

TEST(Envelopes, ChannelsFadeAfterKeyOffAndAutovibratoSweepsIn) {
  TestSong song = make_song(1, {8}, {constant_sample(4000, 1000)});
  Instrument& instrument = song->instruments[0];
  instrument.fadeout = 10000;
  instrument.volume_envelope = envelope_of({{0, 64}, {10, 0}});
  instrument.vibrato_waveform = WAVEFORM_SQUARE;  // -128 from the start
  instrument.vibrato_depth = 8;
  instrument.vibrato_sweep = 4;
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, KEY_OFF, 3});
  std::vector<int> autovibrato, fade, envelope;
  for (int t = 0; t < 6; t++) {
    run_tick(*song);
    autovibrato.push_back(song->channels[0].autovibrato_offset);
    fade.push_back(song->channels[0].fadeout_volume);
    envelope.push_back(song->channels[0].volume_envelope_value);
  }
  // Unswept: -8 * -128 / 128 = 8; the sweep gives 0, 2, 4, 6, then 8.
  EXPECT_EQ(autovibrato, (std::vector<int>{0, 2, 4, 6, 8, 8}));
  // Key off on tick 3 takes effect in the next tick's instrument update.
  EXPECT_EQ(fade, (std::vector<int>{32767, 32767, 32767, 32767, 22767, 12767}));
  EXPECT_EQ(envelope, (std::vector<int>{64, 57, 51, 44, 38, 32}));
  EXPECT_EQ(song->channels[0].volume, 64);  // with a volume envelope, key off does not cut
}

TEST(Envelopes, AnAutovibratoDeeperThanTheOffsetSaturates) {
  TestSong song = make_song(1, {8}, {constant_sample(4000, 1000)});
  Instrument& instrument = song->instruments[0];
  instrument.vibrato_waveform = WAVEFORM_SQUARE;
  instrument.vibrato_rate = 128;  // -128, 127, -128, ...
  instrument.vibrato_depth = 255;
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, 0, 0});
  std::vector<int> offsets;
  for (int t = 0; t < 3; t++) {
    run_tick(*song);
    offsets.push_back(song->channels[0].autovibrato_offset);
  }
  // -255 * -128 / 128 = 255 and -255 * 127 / 128 = -253 do not fit the byte:
  // they pin at its ends instead of wrapping to the opposite sign.
  EXPECT_EQ(offsets, (std::vector<int>{127, -128, 127}));
  instrument.vibrato_depth = 127;  // the deepest that fits is unchanged
  run_tick(*song);
  EXPECT_EQ(song->channels[0].autovibrato_offset, -127 * 127 / 128);
}

TEST(Pitch, StepsFromLinearAndAmigaPeriods) {
  TestSong song = make_song(1, {8});
  ChannelState& channel = song->channels[0];
  channel.period = 4608;  // C-4, 8363 Hz
  update_pitch(*song, channel);
  EXPECT_EQ(channel.step, 714u);
  channel.period = 4608 + 768;  // an octave down
  update_pitch(*song, channel);
  EXPECT_EQ(channel.step, (4181u * 4096 + 24000) / 48000);
  channel.period = 1600;
  channel.arpeggio_offset = 12;  // 1600 - 768 clamps to 1540
  update_pitch(*song, channel);
  const uint32_t clamped = channel.step;
  channel.period = 1540;
  channel.arpeggio_offset = 0;
  update_pitch(*song, channel);
  EXPECT_EQ(clamped, channel.step);
  channel.vibrato_offset = 10;
  channel.autovibrato_offset = -4;
  channel.period = 4614;  // 4614 - 10 + 4 = 4608
  update_pitch(*song, channel);
  EXPECT_EQ(channel.step, 714u);

  song->amiga_frequencies = 1;
  channel.vibrato_offset = channel.autovibrato_offset = 0;
  channel.period = 1712;  // 14187578 / 1712 = 8287 Hz
  update_pitch(*song, channel);
  EXPECT_EQ(channel.step, (8287u * 4096 + 24000) / 48000);
  channel.period = 5;
  channel.vibrato_offset = 5;  // cancelled to 0: silence, not a division by zero
  update_pitch(*song, channel);
  EXPECT_EQ(channel.step, 0u);
}
