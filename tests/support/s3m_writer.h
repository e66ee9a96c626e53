// A small in-memory S3M writer for the tests: each case states its module as
// plain records; counts, parapointers and packed lengths can be overridden to
// build bad input.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// One packed entry; fields left at -1 are not stored.
struct S3mEntry {
  uint8_t position;  // channel position 0..31
  int32_t note = -1;  // stored byte, with the instrument byte
  uint8_t instrument = 0;
  int32_t volume = -1;
  int32_t command = -1;  // 1 = A .. 26 = Z, with the parameter byte
  uint8_t param = 0;
};

struct S3mPattern {
  std::vector<std::vector<S3mEntry>> rows;  // up to 64 rows of entries
  std::vector<uint8_t> packed;              // used instead of `rows` when not empty
  int32_t packed_length = -1;               // stored length; -1: the real one
  int64_t parapointer = -1;                 // -1: where the writer puts it
};

struct S3mSample {
  uint8_t type = 1;
  uint32_t length = 0, loop_start = 0, loop_end = 0;
  uint8_t volume = 64, flags = 0;  // flags: bit 0 loop, bit 2 16-bit
  uint32_t c2_rate = 8363;
  std::vector<uint8_t> data;       // stored bytes, as the file holds them
  int64_t data_parapointer = -1;   // -1: where the writer puts the data
  int64_t parapointer = -1;        // -1: where the writer puts the header
};

struct S3mModule {
  std::vector<uint8_t> orders = {0, 255};
  int32_t order_count = -1, instrument_count = -1, pattern_count = -1;  // -1: the vectors' sizes
  uint8_t flags = 0;
  uint16_t tracker_version = 0x1320;
  uint16_t sample_format = 1;  // 1 signed, 2 unsigned
  uint8_t global_volume = 64, speed = 6, tempo = 125, master_volume = 0xB0;
  std::array<uint8_t, 32> channel_settings = channels_lrrl();
  std::vector<uint8_t> panning_table;  // stored with the 0xFC mark when not empty
  std::vector<S3mSample> instruments;
  std::vector<S3mPattern> patterns;

  static std::array<uint8_t, 32> channels_lrrl() {
    std::array<uint8_t, 32> settings;
    settings.fill(255);
    settings[0] = 0;
    settings[1] = 8;
    settings[2] = 9;
    settings[3] = 1;
    return settings;
  }
};

std::vector<uint8_t> write_s3m(const S3mModule& module);

// A pattern whose rows are empty but the given (row, entry) pairs.
S3mPattern s3m_pattern(std::vector<std::pair<uint32_t, S3mEntry>> placed);

// Stored note byte: octave in the high nibble, semitone in the low one.
inline uint8_t s3m_note(uint32_t octave, uint32_t semitone) { return uint8_t(octave << 4 | semitone); }

// A small stereo song on four channels: two patterns, an 8-bit looping and a
// 16-bit sample, a few commands.
S3mModule representative_s3m();
