// The tests' XM writer: packs cells the way trackers do (a mask byte, or five
// plain bytes when every field is present) so both encodings are exercised.
#include "xm_writer.h"

#include "recorded_modules.h"

#include <cstring>

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

std::vector<uint8_t> pack_cells(const std::vector<XmCell>& cells) {
  std::vector<uint8_t> out;
  for (const XmCell& c : cells) {
    const uint8_t fields[5] = {c.note, c.instrument, c.volume_column, c.effect, c.param};
    bool all = c.note < 128;
    uint8_t mask = 0x80;
    for (int f = 0; f < 5; f++) {
      if (fields[f]) mask |= uint8_t(1 << f);
      all = all && fields[f];
    }
    if (all) {
      out.insert(out.end(), fields, fields + 5);
      continue;
    }
    out.push_back(mask);
    for (int f = 0; f < 5; f++) {
      if (fields[f]) out.push_back(fields[f]);
    }
  }
  return out;
}

void put_envelope_points(std::vector<uint8_t>& out, const XmEnvelopeSpec& e) {
  for (size_t i = 0; i < 12; i++) {
    put16(out, i < e.frames.size() ? e.frames[i] : 0);
    put16(out, i < e.values.size() ? e.values[i] : 0);
  }
}

}  // namespace

std::vector<uint8_t> write_xm(const XmModule& m) {
  std::vector<uint8_t> out(80 + 256, 0);
  std::memcpy(out.data(), "Extended Module: ", 17);
  out[37] = 0x1A;
  out[58] = 4;
  out[59] = 1;
  std::vector<uint8_t> fields;
  put32(fields, uint32_t(m.header_size));
  put16(fields, m.song_length);
  put16(fields, m.restart_position);
  put16(fields, m.channels);
  put16(fields, m.pattern_count < 0 ? uint32_t(m.patterns.size()) : uint32_t(m.pattern_count));
  put16(fields, m.instrument_count < 0 ? uint32_t(m.instruments.size()) : uint32_t(m.instrument_count));
  put16(fields, m.flags);
  put16(fields, m.tempo);
  put16(fields, m.bpm);
  std::memcpy(out.data() + 60, fields.data(), fields.size());
  for (size_t i = 0; i < m.orders.size() && i < 256; i++) out[80 + i] = m.orders[i];
  out.resize(size_t(60 + m.header_size), 0);

  for (const XmPattern& p : m.patterns) {
    const std::vector<uint8_t> packed = p.packed.empty() ? pack_cells(p.cells) : p.packed;
    put32(out, 9);
    out.push_back(0);
    put16(out, p.rows);
    put16(out, p.packed_size < 0 ? uint32_t(packed.size()) : uint32_t(p.packed_size));
    out.insert(out.end(), packed.begin(), packed.end());
  }

  for (const XmInstrument& ins : m.instruments) {
    std::vector<uint8_t> head;
    put32(head, ins.header_size);
    head.resize(27, 0);
    put16(head, ins.sample_count < 0 ? uint32_t(ins.samples.size()) : uint32_t(ins.sample_count));
    put32(head, 40);
    head.insert(head.end(), ins.sample_map, ins.sample_map + 96);
    put_envelope_points(head, ins.volume);
    put_envelope_points(head, ins.panning);
    const uint8_t tail[] = {ins.volume.point_count, ins.panning.point_count, ins.volume.sustain,
                            ins.volume.loop_start,  ins.volume.loop_end,     ins.panning.sustain,
                            ins.panning.loop_start, ins.panning.loop_end,    ins.volume.type,
                            ins.panning.type,       ins.vibrato_type,        ins.vibrato_sweep,
                            ins.vibrato_depth,      ins.vibrato_rate};
    head.insert(head.end(), tail, tail + sizeof tail);
    put16(head, ins.fadeout);
    head.resize(ins.header_size, 0);
    out.insert(out.end(), head.begin(), head.end());
    for (const XmSample& s : ins.samples) {
      put32(out, s.stored_length < 0 ? uint32_t(s.data.size()) : uint32_t(s.stored_length));
      put32(out, s.loop_start);
      put32(out, s.loop_length);
      const uint8_t rest[] = {s.volume, uint8_t(s.finetune), s.type, s.panning,
                              uint8_t(s.relative_note), 0};
      out.insert(out.end(), rest, rest + sizeof rest);
      out.resize(out.size() + 22, 0);
    }
    for (const XmSample& s : ins.samples) out.insert(out.end(), s.data.begin(), s.data.end());
  }
  record_module(out);
  return out;
}

std::vector<uint8_t> delta_code_8(const std::vector<int8_t>& values) {
  std::vector<uint8_t> out;
  uint8_t previous = 0;
  for (int8_t v : values) {
    out.push_back(uint8_t(uint8_t(v) - previous));
    previous = uint8_t(v);
  }
  return out;
}

std::vector<uint8_t> delta_code_16(const std::vector<int16_t>& values) {
  std::vector<uint8_t> out;
  uint16_t previous = 0;
  for (int16_t v : values) {
    const uint16_t d = uint16_t(uint16_t(v) - previous);
    out.push_back(uint8_t(d));
    out.push_back(uint8_t(d >> 8));
    previous = uint16_t(v);
  }
  return out;
}
