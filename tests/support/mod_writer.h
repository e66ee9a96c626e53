// A small in-memory MOD writer for the tests: each case states its module as
// plain records; stored fields are written as given, so bad input is easy.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct ModCell {
  uint16_t period;  // 12 bits
  uint8_t instrument, effect, param;
};

struct ModSample {
  uint16_t length_words = 0, loop_start_words = 0, loop_length_words = 0;
  uint8_t finetune = 0, volume = 64;
  std::vector<int8_t> data;  // stored bytes; padded with zeros to the length
};

struct ModModule {
  std::string signature = "M.K.";
  uint32_t channels = 4;  // the cells' layout; the reader takes the signature's
  uint8_t song_length = 1, restart_position = 0;
  std::vector<uint8_t> orders = {0};  // up to 128
  std::vector<std::vector<ModCell>> patterns;  // 64 x channels cells each, row by row
  std::array<ModSample, 31> samples;
};

std::vector<uint8_t> write_mod(const ModModule& module);

// One pattern of 64 empty rows but the given cells (index = row x channels + channel).
std::vector<ModCell> mod_pattern(uint32_t channels, std::vector<std::pair<uint32_t, ModCell>> placed);

// A small "M.K." song: two patterns, two samples (one looping), a few effects.
ModModule representative_mod();
