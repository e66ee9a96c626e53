// Writes the benchmark's busy song as an XM file, so that the offline
// renderer itself can be timed on it: two minutes in which every channel
// plays a looping sample with a note on every row at tempo 6 and 125 BPM,
// with a volume envelope, arpeggio, vibrato and slides.
//
//   write_busy_xm CHANNELS OUTPUT.xm
#include "xm_writer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

XmSample looping_tone(uint32_t length, uint32_t period, bool ping_pong) {
  std::vector<int16_t> frames;
  for (uint32_t i = 0; i < length; i++) {
    frames.push_back(int16_t(20000 * std::sin(6.2831853 * double(i) / period)));
  }
  XmSample sample;
  sample.data = delta_code_16(frames);
  sample.loop_start = 2 * (length - length / 2);  // bytes, 16-bit frames
  sample.loop_length = 2 * (length / 2);
  sample.type = uint8_t(0x10 | (ping_pong ? 2 : 1));
  return sample;
}

XmModule busy_module(uint16_t channels) {
  XmModule module;
  module.channels = channels;
  module.song_length = 16;
  module.orders.clear();
  for (uint8_t p = 0; p < 16; p++) module.orders.push_back(p);
  const XmSample tones[4] = {looping_tone(4000, 40, false), looping_tone(2500, 25, true),
                             looping_tone(8000, 80, false), looping_tone(1200, 12, true)};
  for (const XmSample& tone : tones) {
    XmInstrument instrument;
    instrument.samples = {tone};
    instrument.volume.frames = {0, 8, 40};
    instrument.volume.values = {64, 40, 48};
    instrument.volume.point_count = 3;
    instrument.volume.sustain = 2;
    instrument.volume.type = 3;  // on, with sustain
    module.instruments.push_back(instrument);
  }
  // Arpeggio, vibrato, slide down, porta up with a volume, porta down, slide up.
  const XmCell effects[6] = {{0, 0, 0, 0x0, 0x47}, {0, 0, 0, 0x4, 0x58}, {0, 0, 0, 0xA, 0x02},
                             {0, 0, 0x30, 0x1, 0x04}, {0, 0, 0, 0x2, 0x03}, {0, 0, 0, 0xA, 0x20}};
  for (uint32_t p = 0; p < 16; p++) {
    XmPattern pattern;
    for (uint32_t r = 0; r < 64; r++) {
      for (uint32_t c = 0; c < channels; c++) {
        XmCell cell = effects[(r + c) % 6];
        cell.note = uint8_t(37 + (r * 7 + c * 5 + p) % 36);
        cell.instrument = uint8_t(1 + (c + r / 16) % 4);
        pattern.cells.push_back(cell);
      }
    }
    module.patterns.push_back(pattern);
  }
  return module;
}

}  // namespace

int main(int argc, char** argv) {
  const int channels = argc == 3 ? std::atoi(argv[1]) : 0;
  if (channels < 1 || channels > 32) {
    std::fprintf(stderr, "usage: write_busy_xm CHANNELS(1-32) OUTPUT.xm\n");
    return 2;
  }
  const std::vector<uint8_t> bytes = write_xm(busy_module(uint16_t(channels)));
  std::FILE* out = std::fopen(argv[2], "wb");
  const bool ok = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (out && std::fclose(out) != 0) return 1;
  return ok ? 0 : 1;
}
