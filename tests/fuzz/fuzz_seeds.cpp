// Each seed exercises a different corner: effects, envelopes and automatic
// vibrato, Amiga periods and the E-effects, several instruments and pattern
// sizes.  The fuzzers mutate from there, so the seeds are kept small.
#include "fuzz_seeds.h"

#include "load_module.h"
#include "mod_writer.h"
#include "prepared_writer.h"
#include "s3m_writer.h"
#include "xm_writer.h"

#include <cstdlib>

namespace {

XmSample looped_square(uint8_t type) {
  std::vector<int8_t> wave;
  for (int i = 0; i < 32; i++) wave.push_back(i < 16 ? 90 : -90);
  XmSample sample;
  sample.data = delta_code_8(wave);
  sample.loop_start = 8;
  sample.loop_length = 24;
  sample.type = type;
  return sample;
}

XmSample ping_pong_saw_16() {
  std::vector<int16_t> wave;
  for (int i = 0; i < 24; i++) wave.push_back(int16_t(i * 2000 - 24000));
  XmSample sample;
  sample.data = delta_code_16(wave);
  sample.loop_start = 8;
  sample.loop_length = 32;  // bytes: 16 frames
  sample.type = 0x12;       // 16-bit, ping-pong
  sample.relative_note = -12;
  sample.finetune = 20;
  return sample;
}

XmInstrument instrument_of(std::vector<XmSample> samples) {
  XmInstrument instrument;
  instrument.samples = std::move(samples);
  for (int k = 0; k < 96; k++) instrument.sample_map[k] = uint8_t(k * instrument.samples.size() / 96);
  return instrument;
}

XmPattern rows_of(uint16_t rows, uint16_t channels, std::vector<std::pair<uint32_t, XmCell>> placed) {
  XmPattern pattern;
  pattern.rows = rows;
  pattern.cells.assign(size_t(rows) * channels, XmCell{});
  for (auto& [index, cell] : placed) pattern.cells[index] = cell;
  return pattern;
}

// Four channels of the common effects and volume-column commands.
std::vector<uint8_t> xm_effects() {
  XmModule module;
  module.channels = 4;
  module.song_length = 2;
  module.orders = {0, 1};
  module.tempo = 3;
  module.instruments = {instrument_of({looped_square(1)})};
  module.patterns = {
      rows_of(16, 4, {{0, {49, 1, 0x40, 0x0, 0x37}}, {1, {61, 1, 0, 0x4, 0x46}},
                      {2, {37, 1, 0x75, 0x7, 0x34}}, {3, {56, 1, 0xC8, 0x8, 0x20}},
                      {5, {0, 0, 0x92, 0x1, 0x10}}, {8, {73, 1, 0xF4, 0x3, 0x08}},
                      {13, {0, 0, 0xB4, 0xA, 0x0F}}, {20, {0, 0, 0, 0x2, 0x08}},
                      {26, {0, 0, 0, 0x9, 0x02}}, {33, {25, 1, 0xD3, 0xF, 0x90}},
                      {40, {0, 0, 0, 0x6, 0x21}}, {47, {0, 0, 0, 0x5, 0x12}},
                      {61, {0, 0, 0, 0xD, 0x02}}}),
      rows_of(8, 4, {{0, {49, 1, 0, 0xC, 0x20}}, {9, {97, 0, 0, 0x0, 0x00}},
                     {14, {0, 0, 0, 0xB, 0x00}}})};
  return write_xm(module);
}

// Envelopes with sustain and loop, panning envelope, automatic vibrato,
// fadeout, key off and a 16-bit ping-pong sample.
std::vector<uint8_t> xm_envelopes() {
  XmModule module;
  module.channels = 2;
  XmInstrument instrument = instrument_of({ping_pong_saw_16(), looped_square(1)});
  instrument.volume = {{0, 4, 10, 20}, {64, 40, 50, 0}, 4, 2, 1, 2, 1 | 2 | 4};
  instrument.panning = {{0, 6, 12}, {0, 64, 32}, 3, 0, 0, 2, 1 | 4};
  instrument.vibrato_type = 1;
  instrument.vibrato_sweep = 4;
  instrument.vibrato_depth = 6;
  instrument.vibrato_rate = 20;
  instrument.fadeout = 2000;
  module.instruments = {instrument};
  module.patterns = {rows_of(12, 2, {{0, {49, 1, 0, 0x0, 0x00}}, {1, {80, 1, 0x30, 0x0, 0x00}},
                                     {8, {97, 0, 0, 0x0, 0x00}}, {11, {0, 0, 0, 0x15, 0x03}},
                                     {14, {61, 1, 0, 0x14, 0x02}}, {19, {0, 0, 0, 0x19, 0x31}}})};
  return write_xm(module);
}

// Amiga periods and the E-effects, global volume, retrigger and tremor.
std::vector<uint8_t> xm_amiga_extended() {
  XmModule module;
  module.channels = 3;
  module.flags = 0;
  module.tempo = 4;
  module.bpm = 140;
  module.instruments = {instrument_of({looped_square(1)}), instrument_of({ping_pong_saw_16()})};
  module.patterns = {
      rows_of(16, 3, {{0, {49, 1, 0, 0xE, 0x60}}, {1, {37, 2, 0, 0xE, 0x93}},
                      {2, {61, 1, 0, 0x10, 0x20}}, {3, {0, 0, 0, 0xE, 0x12}},
                      {4, {0, 0, 0, 0x1B, 0x42}}, {5, {0, 0, 0, 0x11, 0x0F}},
                      {6, {0, 0, 0, 0xE, 0x63}}, {7, {50, 1, 0, 0xE, 0xD2}},
                      {8, {0, 0, 0, 0x1D, 0x21}}, {9, {0, 0, 0, 0xE, 0xC1}},
                      {10, {0, 0, 0, 0x21, 0x12}}, {12, {0, 0, 0, 0xE, 0xE2}},
                      {16, {0, 0, 0, 0xE, 0xA3}}, {20, {0, 0, 0, 0x21, 0x24}}})};
  return write_xm(module);
}

// Several patterns of different sizes, an order naming a missing pattern, a
// restart position and an empty packed pattern.
std::vector<uint8_t> xm_arrangement() {
  XmModule module;
  module.channels = 2;
  module.song_length = 5;
  module.restart_position = 2;
  module.orders = {0, 2, 1, 3, 0};
  module.instruments = {instrument_of({looped_square(1)}), instrument_of({looped_square(2)})};
  XmPattern empty;
  empty.rows = 64;
  module.patterns = {rows_of(4, 2, {{0, {49, 1, 0, 0x0, 0x00}}, {3, {52, 2, 0, 0x0, 0x00}}}),
                     rows_of(1, 2, {{0, {30, 2, 0, 0xF, 0x02}}}),
                     empty};
  return write_xm(module);
}

}  // namespace

std::vector<FuzzSeed> fuzz_seeds() {
  std::vector<FuzzSeed> seeds = {
      {MODULE_FORMAT_XM, "effects.xm", xm_effects()},
      {MODULE_FORMAT_XM, "envelopes.xm", xm_envelopes()},
      {MODULE_FORMAT_XM, "amiga_extended.xm", xm_amiga_extended()},
      {MODULE_FORMAT_XM, "arrangement.xm", xm_arrangement()},
      {MODULE_FORMAT_MOD, "representative.mod", write_mod(representative_mod())},
      {MODULE_FORMAT_S3M, "representative.s3m", write_s3m(representative_s3m())},
  };
  // The prepared image of the effects seed, stored with wide strides.
  const std::vector<uint8_t>& effects = seeds[0].bytes;
  if (ModuleContext* song = prepare_module(effects.data(), uint32_t(effects.size()))) {
    PreparedLayout wide;
    wide.pattern_stride = 2;
    wide.sample_stride = 4;
    std::vector<uint8_t> image;
    if (write_prepared_image(*song, wide, image)) seeds.push_back({MODULE_FORMAT_PREPARED, "effects.prep", image});
    std::free(song);
  }
  return seeds;
}

const char* fuzz_format_name(ModuleFormat format) {
  switch (format) {
    case MODULE_FORMAT_PREPARED: return "prepared";
    case MODULE_FORMAT_XM: return "xm";
    case MODULE_FORMAT_MOD:
    case MODULE_FORMAT_MOD_FLT8: return "mod";
    case MODULE_FORMAT_S3M: return "s3m";
  }
  return "unknown";
}
