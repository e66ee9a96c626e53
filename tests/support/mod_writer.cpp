// The tests' MOD writer: header, order table, signature, patterns of 4-byte
// cells and the 8-bit sample data, all big-endian as MOD stores them.
#include "mod_writer.h"
#include "recorded_modules.h"

#include <cstring>

namespace {

void put16_be(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = uint8_t(v >> 8);
  out[at + 1] = uint8_t(v);
}

}  // namespace

std::vector<uint8_t> write_mod(const ModModule& m) {
  std::vector<uint8_t> out(1084, 0);
  std::memcpy(out.data(), "test song", 9);
  for (size_t i = 0; i < 31; i++) {
    const ModSample& s = m.samples[i];
    const size_t at = 20 + 30 * i;
    put16_be(out, at + 22, s.length_words);
    out[at + 24] = s.finetune;
    out[at + 25] = s.volume;
    put16_be(out, at + 26, s.loop_start_words);
    put16_be(out, at + 28, s.loop_length_words);
  }
  out[950] = m.song_length;
  out[951] = m.restart_position;
  for (size_t i = 0; i < m.orders.size() && i < 128; i++) out[952 + i] = m.orders[i];
  for (size_t i = 0; i < 4 && i < m.signature.size(); i++) out[1080 + i] = uint8_t(m.signature[i]);
  for (const std::vector<ModCell>& pattern : m.patterns) {
    for (size_t k = 0; k < size_t(64) * m.channels; k++) {
      const ModCell c = k < pattern.size() ? pattern[k] : ModCell{};
      out.push_back(uint8_t((c.instrument & 0xF0) | ((c.period >> 8) & 0x0F)));
      out.push_back(uint8_t(c.period));
      out.push_back(uint8_t((c.instrument & 0x0F) << 4 | (c.effect & 0x0F)));
      out.push_back(c.param);
    }
  }
  for (const ModSample& s : m.samples) {
    for (size_t b = 0; b < size_t(2) * s.length_words; b++) {
      out.push_back(b < s.data.size() ? uint8_t(s.data[b]) : 0);
    }
  }
  record_module(out);
  return out;
}

std::vector<ModCell> mod_pattern(uint32_t channels, std::vector<std::pair<uint32_t, ModCell>> placed) {
  std::vector<ModCell> cells(size_t(64) * channels, ModCell{});
  for (auto& [index, cell] : placed) cells[index] = cell;
  return cells;
}

ModModule representative_mod() {
  ModModule m;
  m.song_length = 3;
  m.restart_position = 1;
  m.orders = {0, 1, 0};
  m.patterns.push_back(mod_pattern(4, {
      {0, {428, 1, 0, 0}},         // C-3 of sample 1
      {1, {0, 2, 0xC, 0x20}},      // instrument without a note, volume 32
      {2, {856, 2, 0xE, 0x52}},    // E52
      {4 * 3 + 3, {0, 0, 0xD, 0x12}},  // break to row 12
  }));
  m.patterns.push_back(mod_pattern(4, {
      {0, {214, 1, 0xF, 0x07}},    // speed 7
      {5, {0, 0, 0x8, 0x40}},      // panning
      {6, {0, 0, 0xA, 0x00}},      // A00: removed
  }));
  ModSample& looped = m.samples[0];
  looped.length_words = 16;
  looped.loop_start_words = 8;
  looped.loop_length_words = 8;
  looped.finetune = 0x0F;
  for (int i = 0; i < 32; i++) looped.data.push_back(int8_t(i % 8 < 4 ? 90 : -90));
  ModSample& plain = m.samples[1];
  plain.length_words = 3;
  plain.volume = 80;
  plain.finetune = 3;
  plain.data = {1, -1, 2, -2, 127, -128};
  return m;
}
