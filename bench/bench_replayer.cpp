// Replayer speed on two-minute songs in which every channel plays a looping
// sample with a note on every row at tempo 6 and 125 BPM, with volume
// envelopes, arpeggio, vibrato and slides.  Reports output frames per second
// and the multiple of real time ("realtime"), for the replayer alone and for
// the offline renderer's loop writing its WAV file.
#include "effect_codes.h"
#include "render_song.h"
#include "replayer.h"
#include "replayer_test_song.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr uint32_t song_frames = 120 * OUTPUT_RATE;

TestSampleSpec looping_tone(uint32_t length, uint32_t period, bool ping_pong) {
  TestSampleSpec spec;
  for (uint32_t i = 0; i < length; i++) {
    spec.frames.push_back(int16_t(20000 * std::sin(6.2831853 * double(i) / period)));
  }
  spec.loop_length = length / 2;
  spec.ping_pong = ping_pong;
  return spec;
}

TestSong busy_song(uint8_t channels) {
  const std::vector<uint16_t> patterns(16, 64);  // 1024 rows of 0.12 s
  TestSong song = make_song(channels, patterns,
                            {looping_tone(4000, 40, false), looping_tone(2500, 25, true),
                             looping_tone(8000, 80, false), looping_tone(1200, 12, true)});
  for (uint32_t i = 0; i < song->instrument_count; i++) {
    Envelope& envelope = song->instruments[i].volume_envelope;
    envelope.points[0] = {0, 64};
    envelope.points[1] = {8, 40};
    envelope.points[2] = {40, 48};
    envelope.point_count = 3;
    envelope.sustain_point = 2;
  }
  const PatternCell effects[6] = {{0, 0, 0, ARPEGGIO, 0x47},     {0, 0, 0, VIBRATO, 0x58},
                                  {0, 0, 0, VOLUME_SLIDE, 0x02}, {0, 0, 0x30, PORTA_UP, 0x04},
                                  {0, 0, 0, PORTA_DOWN, 0x03},   {0, 0, 0, VOLUME_SLIDE, 0x20}};
  for (uint32_t p = 0; p < patterns.size(); p++) {
    for (uint32_t r = 0; r < 64; r++) {
      for (uint32_t c = 0; c < channels; c++) {
        PatternCell value = effects[(r + c) % 6];
        value.note = uint8_t(37 + (r * 7 + c * 5 + p) % 36);
        value.instrument = uint8_t(1 + (c + r / 16) % 4);
        put(*song, p, r, c, value);
      }
    }
  }
  return song;
}

void report(benchmark::State& state) {
  const double frames = double(state.iterations()) * song_frames;
  state.counters["frames_per_second"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["realtime"] = benchmark::Counter(frames / OUTPUT_RATE, benchmark::Counter::kIsRate);
}

// As the audio output calls it: requests of 1024 frames.
void replayer_alone(benchmark::State& state) {
  std::vector<float> frames(2 * 1024);
  for (auto _ : state) {
    state.PauseTiming();
    TestSong song = busy_song(uint8_t(state.range(0)));
    state.ResumeTiming();
    for (uint32_t done = 0; done < song_frames; done += 1024) {
      render_frames(*song, frames.data(), 1024);
      benchmark::DoNotOptimize(frames.data());
    }
  }
  report(state);
}

void renderer_writing_wav(benchmark::State& state) {
  const std::string path = "/tmp/bench_replayer_" + std::to_string(state.range(0)) + ".wav";
  for (auto _ : state) {
    state.PauseTiming();
    TestSong song = busy_song(uint8_t(state.range(0)));
    WavFile wav;
    if (!wav_open(wav, path.c_str())) state.SkipWithError("cannot create the WAV file");
    state.ResumeTiming();
    const RenderOutcome outcome = render_song(*song, wav, {song_frames, false, 0, 0, nullptr, {}});
    if (!wav_close(wav) || !outcome.written) state.SkipWithError("cannot write the WAV file");
  }
  std::remove(path.c_str());
  report(state);
}

}  // namespace

BENCHMARK(replayer_alone)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(renderer_writing_wav)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
