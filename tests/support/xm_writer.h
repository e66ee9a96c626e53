// A small in-memory XM writer for the tests: each case states its module as
// plain records, and every stored field can be overridden to build bad input.
#pragma once

#include <cstdint>
#include <vector>

struct XmCell {
  uint8_t note, instrument, volume_column, effect, param;
};

struct XmPattern {
  uint16_t rows = 64;
  std::vector<XmCell> cells;          // rows x channels, row by row; empty: none
  std::vector<uint8_t> packed;        // used instead of packing `cells` when not empty
  int32_t packed_size = -1;           // stored packed size; -1: the real one
};

struct XmSample {
  std::vector<uint8_t> data;          // stored bytes, already delta-coded
  // -1: data.size().  A larger value without the data moves everything the
  // reader finds after this instrument's samples.
  int64_t stored_length = -1;
  uint32_t loop_start = 0, loop_length = 0;  // bytes
  uint8_t volume = 64;
  int8_t finetune = 0;
  uint8_t type = 0;
  uint8_t panning = 128;
  int8_t relative_note = 0;
};

struct XmEnvelopeSpec {
  std::vector<uint16_t> frames, values;
  uint8_t point_count = 0, sustain = 0, loop_start = 0, loop_end = 0, type = 0;
};

struct XmInstrument {
  uint32_t header_size = 263;
  int32_t sample_count = -1;          // -1: samples.size()
  uint8_t sample_map[96] = {};
  XmEnvelopeSpec volume, panning;
  uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
  uint16_t fadeout = 0;
  std::vector<XmSample> samples;
};

struct XmModule {
  uint16_t song_length = 1, restart_position = 0, channels = 2;
  uint16_t flags = 1, tempo = 6, bpm = 125;
  std::vector<uint8_t> orders = {0};
  int64_t header_size = 276;
  int32_t pattern_count = -1, instrument_count = -1;  // -1: the vectors' sizes
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
};

std::vector<uint8_t> write_xm(const XmModule& module);

// Delta coding as XM stores sample data.
std::vector<uint8_t> delta_code_8(const std::vector<int8_t>& values);
std::vector<uint8_t> delta_code_16(const std::vector<int16_t>& values);
