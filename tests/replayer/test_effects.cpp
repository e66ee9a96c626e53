// Effects observed through the channel records, tick by tick; every song
// plays one sample at C-4 unless a case says otherwise.
#include "effect_codes.h"
#include "replayer_test_song.h"
#include "waveforms.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TestSong one_voice(uint8_t channels = 1, std::vector<uint16_t> rows = {8}) {
  return make_song(channels, rows, {constant_sample(4000, 1000)});
}

// A field of channel `c` after each of `ticks` ticks.
template <typename Field>
std::vector<int> after_each_tick(ModuleContext& song, uint32_t c, uint32_t ticks, Field field) {
  std::vector<int> values;
  for (uint32_t t = 0; t < ticks; t++) {
    run_tick(song);
    values.push_back(int(field(song.channels[c])));
  }
  return values;
}

}  // namespace

TEST(Waveforms, ShapesAtTheirTurningPoints) {
  EXPECT_EQ(waveform_value(WAVEFORM_SINE, 0), 0);
  EXPECT_EQ(waveform_value(WAVEFORM_SINE, 4), -12);
  EXPECT_EQ(waveform_value(WAVEFORM_SINE, 64), -127);
  EXPECT_EQ(waveform_value(WAVEFORM_SINE, 128), 0);
  EXPECT_EQ(waveform_value(WAVEFORM_SINE, 192), 127);
  EXPECT_EQ(waveform_value(9, 192), 127);  // unknown numbers are sines
  EXPECT_EQ(waveform_value(WAVEFORM_RAMP_DOWN, 0), -1);
  EXPECT_EQ(waveform_value(WAVEFORM_RAMP_DOWN, 127), -128);
  EXPECT_EQ(waveform_value(WAVEFORM_RAMP_DOWN | WAVEFORM_KEEP_POSITION, 128), 127);
  EXPECT_EQ(waveform_value(WAVEFORM_SQUARE, 127), -128);
  EXPECT_EQ(waveform_value(WAVEFORM_SQUARE, 128), 127);
  EXPECT_EQ(waveform_value(WAVEFORM_RAMP_UP, 127), 127);
  EXPECT_EQ(waveform_value(WAVEFORM_RAMP_UP, 128), -128);
}

TEST(Waveforms, RandomDrawsComeFromOneStateAcrossChannels) {
  TestSong song = one_voice(2);
  for (int c = 0; c < 2; c++) {
    put(*song, 0, 0, c, {0, 0, 0, VIBRATO_WAVEFORM, WAVEFORM_RANDOM});
    put(*song, 0, 1, c, {0, 0, 0, VIBRATO, 0x0F});
  }
  run_ticks(*song, 6);
  waveform_random_state = 0;
  run_ticks(*song, 1);  // row 1, no later-tick action yet
  // Draws 1, 2, 3 are the low bytes 1, 0xF6 (-10) and 111 of the state.
  run_ticks(*song, 1);
  EXPECT_EQ(song->channels[0].vibrato_offset, 15 * 1 / 16);
  EXPECT_EQ(song->channels[1].vibrato_offset, 15 * -10 / 16);
  run_ticks(*song, 1);
  EXPECT_EQ(song->channels[0].vibrato_offset, 15 * 111 / 16);
}

TEST(Arpeggio, OffsetsDependOnTheTicksLeftInTheRow) {
  auto offsets = [](uint8_t tempo, uint32_t ticks) {
    TestSong song = one_voice(2);
    song->tempo = tempo;
    put(*song, 0, 0, 0, {NOTE_C4, 1, 0, ARPEGGIO, 0x37});
    put(*song, 0, 0, 1, {NOTE_C4 + 7, 1, 0, 0, 0});
    std::vector<int> values;
    for (uint32_t t = 0; t < ticks; t++) {
      run_tick(*song);
      values.push_back(song->channels[0].arpeggio_offset);
      // An offset of 7 plays exactly the fifth above.
      if (values.back() == 7) {
        EXPECT_EQ(song->channels[0].step, song->channels[1].step);
      }
    }
    return values;
  };
  EXPECT_EQ(offsets(6, 6), (std::vector<int>{0, 7, 3, 0, 7, 3}));
  EXPECT_EQ(offsets(16, 2)[1], 0);  // 15 ticks left: divisible by 3
  const std::vector<int> at_20 = offsets(20, 5);
  EXPECT_EQ(at_20[1], 7);  // 19 ticks left
  EXPECT_EQ(at_20[4], 0);  // 16 ticks left

  TestSong song = one_voice();
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, ARPEGGIO, 0x37});
  run_ticks(*song, 2);
  const uint32_t plain_step = [] {
    TestSong plain = one_voice();
    put(*plain, 0, 0, 0, {NOTE_C4, 1, 0, 0, 0});
    run_ticks(*plain, 1);
    return plain->channels[0].step;
  }();
  run_ticks(*song, 5);  // the next row clears the arpeggio
  EXPECT_EQ(song->channels[0].arpeggio_offset, 0);
  EXPECT_EQ(song->channels[0].period, 4608);
  EXPECT_EQ(song->channels[0].step, plain_step);
}

TEST(Portamento, UpClampsDownWrapsAndS3mStops) {
  TestSong song = one_voice(3);
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, 0, 0});
  put(*song, 0, 0, 1, {NOTE_C4, 1, 0, 0, 0});
  put(*song, 0, 0, 2, {NOTE_C4, 1, 0, 0, 0});
  put(*song, 0, 1, 0, {0, 0, 0, PORTA_UP, 0x40});
  put(*song, 0, 1, 1, {0, 0, 0, PORTA_DOWN, 0x80});
  put(*song, 0, 1, 2, {0, 0, 0, S3M_PORTA_DOWN, 0x80});
  run_ticks(*song, 7);  // row 1 read
  song->channels[0].period = 100;
  song->channels[1].period = 65000;
  song->channels[2].period = 65000;
  run_ticks(*song, 1);
  EXPECT_EQ(song->channels[0].period, 1);
  EXPECT_EQ(song->channels[1].period, 65512);
  EXPECT_EQ(song->channels[2].period, 65512);
  EXPECT_NE(song->channels[2].sample, nullptr);
  run_ticks(*song, 1);
  EXPECT_EQ(song->channels[0].period, 1);
  EXPECT_EQ(song->channels[1].period, 66024 - 65536);
  EXPECT_EQ(song->channels[2].sample, nullptr);
}

TEST(Portamento, VolumeColumnAndEffectGiveTwoToneSteps) {
  TestSong song = one_voice();
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, 0, 0});
  put(*song, 0, 1, 0, {NOTE_C4 + 12, 1, 0xF2, TONE_PORTA, 0});
  run_ticks(*song, 6);
  const std::vector<int> periods =
      after_each_tick(*song, 0, 6, [](const ChannelState& c) { return c.period; });
  EXPECT_EQ(periods, (std::vector<int>{4608, 4352, 4096, 3840, 3840, 3840}));
  EXPECT_EQ(song->channels[0].target_period, 3840);
}

TEST(Retrigger, MultiRetriggerIntervalsAndVolumeChanges) {
  TestSong song = one_voice();
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, MULTI_RETRIG, 0x83});
  std::vector<bool> restarted;
  for (int t = 0; t < 6; t++) {
    song->channels[0].position = 12345;
    run_tick(*song);
    restarted.push_back(song->channels[0].position == 0);
  }
  EXPECT_EQ(restarted, (std::vector<bool>{true, false, true, false, false, true}));
  EXPECT_EQ(song->channels[0].volume, 64);

  TestSong halving = one_voice();
  put(*halving, 0, 0, 0, {NOTE_C4, 1, 0, MULTI_RETRIG, 0x71});
  EXPECT_EQ(after_each_tick(*halving, 0, 6, [](const ChannelState& c) { return c.volume; }),
            (std::vector<int>{32, 16, 8, 4, 2, 1}));

  TestSampleSpec quiet = constant_sample(4000, 1000);
  quiet.volume = 2;
  TestSong down = make_song(1, {8}, {quiet});
  put(*down, 0, 0, 0, {NOTE_C4, 1, 0, MULTI_RETRIG, 0x11});
  EXPECT_EQ(after_each_tick(*down, 0, 4, [](const ChannelState& c) { return c.volume; }),
            (std::vector<int>{1, 0, 0, 0}));
}

TEST(VolumeEffects, SlidesTremoloAndTremor) {
  TestSampleSpec half = constant_sample(4000, 1000);
  half.volume = 32;
  TestSong song = make_song(1, {8}, {half});
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, VOLUME_SLIDE, 0x12});  // low nibble ignored: up by 1
  run_ticks(*song, 6);
  EXPECT_EQ(song->channels[0].volume, 37);

  // Ramp-down tremolo folds its position by the vibrato position too.
  TestSong tremolo = one_voice(2);
  for (int c = 0; c < 2; c++) {
    put(*tremolo, 0, 0, c, {NOTE_C4, 1, 0, TREMOLO_WAVEFORM, WAVEFORM_RAMP_DOWN});
    put(*tremolo, 0, 1, c, {0, 0, 0, TREMOLO, 0x48});
  }
  run_ticks(*tremolo, 6);
  tremolo->channels[1].vibrato_position = 128;
  run_ticks(*tremolo, 1);
  auto offset = [](const ChannelState& c) { return c.volume_offset; };
  EXPECT_EQ(after_each_tick(*tremolo, 0, 3, offset), (std::vector<int>{0, -4, -8}));
  TestSong again = one_voice(2);
  for (int c = 0; c < 2; c++) {
    put(*again, 0, 0, c, {NOTE_C4, 1, 0, TREMOLO_WAVEFORM, WAVEFORM_RAMP_DOWN});
    put(*again, 0, 1, c, {0, 0, 0, TREMOLO, 0x48});
  }
  run_ticks(*again, 6);
  again->channels[1].vibrato_position = 128;
  run_ticks(*again, 1);
  EXPECT_EQ(after_each_tick(*again, 1, 3, offset), (std::vector<int>{31, -28, -24}));

  TestSong tremor = one_voice();
  tremor->tempo = 11;
  put(*tremor, 0, 0, 0, {NOTE_C4, 1, 0, TREMOR, 0x21});
  run_ticks(*tremor, 1);
  EXPECT_EQ(after_each_tick(*tremor, 0, 10, offset),
            (std::vector<int>{0, 0, 0, 64, 64, 0, 0, 0, 64, 64}));
}

TEST(NoteTiming, DelayCutAndKeyOff) {
  TestSong song = one_voice(3);
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, NOTE_DELAY, 3});
  put(*song, 0, 0, 1, {NOTE_C4, 1, 0, NOTE_CUT, 2});
  put(*song, 0, 0, 2, {NOTE_C4, 1, 0, KEY_OFF, 4});
  auto sounding = [](const ChannelState& c) { return c.sample != nullptr; };
  std::vector<int> delayed, cut, released;
  for (int t = 0; t < 6; t++) {
    run_tick(*song);
    delayed.push_back(sounding(song->channels[0]));
    cut.push_back(song->channels[1].volume);
    released.push_back(song->channels[2].key_on);
  }
  EXPECT_EQ(delayed, (std::vector<int>{0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(cut, (std::vector<int>{64, 64, 0, 0, 0, 0}));
  EXPECT_EQ(released, (std::vector<int>{1, 1, 1, 1, 0, 0}));
  EXPECT_EQ(song->channels[2].volume, 0);  // no volume envelope: key off is a cut
}

TEST(NoteTiming, ADelayedKeyOffReleasesTheKeyOnItsTick) {
  TestSong song = one_voice();
  Instrument& instrument = song->instruments[0];
  instrument.fadeout = 1000;
  instrument.volume_envelope.points[0] = {0, 64};
  instrument.volume_envelope.points[1] = {10, 64};
  instrument.volume_envelope.point_count = 2;
  instrument.volume_envelope.sustain_point = 0;
  put(*song, 0, 0, 0, {NOTE_C4, 1, 0, 0, 0});
  put(*song, 0, 1, 0, {NOTE_KEY_OFF, 0, 0, NOTE_DELAY, 2});
  run_ticks(*song, 6 + 2);
  EXPECT_EQ(song->channels[0].key_on, 1);  // still held on tick 1 of the row
  run_ticks(*song, 1);
  EXPECT_EQ(song->channels[0].key_on, 0);
  EXPECT_EQ(song->channels[0].fadeout_volume, 32767 - 1000);
  run_ticks(*song, 1);
  EXPECT_EQ(song->channels[0].fadeout_volume, 32767 - 2000);
  EXPECT_EQ(song->channels[0].volume, 64);  // the envelope, not a cut, ends it
}
