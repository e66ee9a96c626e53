// The tests' S3M writer: header, orders, parapointer tables and the optional
// panning table, then sample headers, packed patterns and sample data, each
// on a 16-byte paragraph as S3M requires.
#include "s3m_writer.h"
#include "recorded_modules.h"

#include <cstring>

namespace {

void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = uint8_t(v);
  out[at + 1] = uint8_t(v >> 8);
}

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  put16(out, at, v & 0xFFFF);
  put16(out, at + 2, v >> 16);
}

size_t next_paragraph(std::vector<uint8_t>& out) {
  out.resize((out.size() + 15) / 16 * 16, 0);
  return out.size();
}

std::vector<uint8_t> pack(const S3mPattern& p) {
  std::vector<uint8_t> out;
  for (size_t r = 0; r < 64; r++) {
    if (r < p.rows.size()) {
      for (const S3mEntry& e : p.rows[r]) {
        uint8_t first = e.position & 0x1F;
        if (e.note >= 0) first |= 0x20;
        if (e.volume >= 0) first |= 0x40;
        if (e.command >= 0) first |= 0x80;
        out.push_back(first);
        if (e.note >= 0) {
          out.push_back(uint8_t(e.note));
          out.push_back(e.instrument);
        }
        if (e.volume >= 0) out.push_back(uint8_t(e.volume));
        if (e.command >= 0) {
          out.push_back(uint8_t(e.command));
          out.push_back(e.param);
        }
      }
    }
    out.push_back(0);
  }
  return out;
}

}  // namespace

std::vector<uint8_t> write_s3m(const S3mModule& m) {
  const size_t orders = m.order_count < 0 ? m.orders.size() : size_t(m.order_count);
  const size_t instruments = m.instrument_count < 0 ? m.instruments.size() : size_t(m.instrument_count);
  const size_t patterns = m.pattern_count < 0 ? m.patterns.size() : size_t(m.pattern_count);
  std::vector<uint8_t> out(96, 0);
  std::memcpy(out.data(), "test song", 9);
  out[28] = 0x1A;
  out[29] = 0x10;
  put16(out, 32, uint32_t(orders));
  put16(out, 34, uint32_t(instruments));
  put16(out, 36, uint32_t(patterns));
  out[38] = m.flags;
  put16(out, 40, m.tracker_version);
  put16(out, 42, m.sample_format);
  std::memcpy(out.data() + 44, "SCRM", 4);
  out[48] = m.global_volume;
  out[49] = m.speed;
  out[50] = m.tempo;
  out[51] = m.master_volume;
  out[53] = m.panning_table.empty() ? 0 : 0xFC;
  std::memcpy(out.data() + 64, m.channel_settings.data(), 32);
  for (size_t i = 0; i < orders; i++) out.push_back(i < m.orders.size() ? m.orders[i] : 0);
  const size_t instrument_table = out.size();
  const size_t pattern_table = instrument_table + 2 * instruments;
  out.resize(pattern_table + 2 * patterns, 0);
  for (size_t i = 0; i < 32 && i < m.panning_table.size(); i++) out.push_back(m.panning_table[i]);

  std::vector<size_t> headers;
  for (size_t i = 0; i < m.instruments.size(); i++) {
    const S3mSample& s = m.instruments[i];
    const size_t at = next_paragraph(out);
    headers.push_back(at);
    out.resize(at + 80, 0);
    out[at] = s.type;
    put32(out, at + 16, s.length);
    put32(out, at + 20, s.loop_start);
    put32(out, at + 24, s.loop_end);
    out[at + 28] = s.volume;
    out[at + 31] = s.flags;
    put32(out, at + 32, s.c2_rate);
    std::memcpy(out.data() + at + 76, "SCRS", 4);
    const uint32_t pointer = s.parapointer < 0 ? uint32_t(at / 16) : uint32_t(s.parapointer);
    if (i < instruments) put16(out, instrument_table + 2 * i, pointer);
  }
  for (size_t p = 0; p < m.patterns.size(); p++) {
    const S3mPattern& pattern = m.patterns[p];
    const std::vector<uint8_t> packed = pattern.packed.empty() ? pack(pattern) : pattern.packed;
    const size_t at = next_paragraph(out);
    out.resize(at + 2, 0);
    put16(out, at, pattern.packed_length < 0 ? uint32_t(packed.size() + 2) : uint32_t(pattern.packed_length));
    out.insert(out.end(), packed.begin(), packed.end());
    const uint32_t pointer = pattern.parapointer < 0 ? uint32_t(at / 16) : uint32_t(pattern.parapointer);
    if (p < patterns) put16(out, pattern_table + 2 * p, pointer);
  }
  for (size_t i = 0; i < m.instruments.size(); i++) {
    const S3mSample& s = m.instruments[i];
    const size_t at = next_paragraph(out);
    out.insert(out.end(), s.data.begin(), s.data.end());
    const uint32_t pointer = s.data_parapointer < 0 ? uint32_t(at / 16) : uint32_t(s.data_parapointer);
    out[headers[i] + 13] = uint8_t(pointer >> 16);
    put16(out, headers[i] + 14, pointer & 0xFFFF);
  }
  record_module(out);
  return out;
}

S3mPattern s3m_pattern(std::vector<std::pair<uint32_t, S3mEntry>> placed) {
  S3mPattern p;
  p.rows.resize(64);
  for (auto& [row, entry] : placed) p.rows[row].push_back(entry);
  return p;
}

S3mModule representative_s3m() {
  S3mModule m;
  m.orders = {0, 254, 1, 255, 0};
  m.speed = 5;
  m.tempo = 140;
  m.global_volume = 50;
  S3mSample looped;
  looped.length = 40;
  looped.loop_start = 8;
  looped.loop_end = 24;
  looped.flags = 1;
  looped.volume = 70;
  for (int i = 0; i < 40; i++) looped.data.push_back(uint8_t(i % 8 < 4 ? 100 : -100));
  S3mSample wide;
  wide.flags = 4;
  wide.length = 8;  // bytes: four 16-bit frames
  wide.c2_rate = 16726;
  wide.data = {0x00, 0x80, 0xFF, 0x7F, 0x34, 0x12, 0x00, 0x00};
  m.instruments = {looped, wide};
  const int32_t A = 1, C = 3, D = 4, S = 19, X = 24;
  m.patterns.push_back(s3m_pattern({
      {0, {0, s3m_note(4, 0), 1, 40, A, 4}},    // C-4 of sample 1, speed 4
      {0, {1, 254, 2, -1, -1, 0}},              // note cut with an instrument
      {1, {2, 255, 2, -1, D, 0x0F}},            // instrument without a note
      {2, {3, s3m_note(5, 7), 2, -1, S, 0x00}}, // S00 with nothing remembered
      {3, {5, s3m_note(1, 1), 1, -1, -1, 0}},   // position 5 is not played
      {4, {0, -1, 0, -1, X, 0x40}},
      {12, {0, -1, 0, -1, C, 0x10}},            // break, parameter as stored
  }));
  m.patterns.push_back(s3m_pattern({
      {0, {1, s3m_note(3, 11), 1, 64, -1, 0}},
      {2, {2, -1, 0, -1, D, 0x21}},
      {3, {2, -1, 0, -1, S, 0x00}},             // S with D's remembered 21: S2 finetune 1
  }));
  return m;
}
