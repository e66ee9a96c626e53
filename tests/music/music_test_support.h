// Shared helpers of the loader tests: a loaded song that frees itself, and
// the cell of pattern p, row r, channel c.
#pragma once

#include "load_module.h"
#include "xm_writer.h"

#include <cstdlib>
#include <memory>
#include <vector>

struct FreeBlock {
  void operator()(ModuleContext* context) const { std::free(context); }
};
using LoadedSong = std::unique_ptr<ModuleContext, FreeBlock>;

inline LoadedSong prepare(const std::vector<uint8_t>& image) {
  return LoadedSong(prepare_module(image.data(), uint32_t(image.size())));
}

inline const PatternCell& cell_at(const ModuleContext& song, uint32_t pattern, uint32_t row,
                                  uint32_t channel) {
  const uint64_t index = (uint64_t(song.patterns[pattern].first_row) + row) * song.channel_count + channel;
  return song.cells[index];
}

// An 8-bit sample of the given values; type 1 loops forward, 2 ping-pong.
inline XmSample sample_of(const std::vector<int8_t>& values, uint8_t type = 0, uint32_t loop_start = 0,
                          uint32_t loop_length = 0) {
  XmSample s;
  s.data = delta_code_8(values);
  s.type = type;
  s.loop_start = loop_start;
  s.loop_length = loop_length;
  return s;
}

// One pattern of `rows` rows whose cells are all empty but the given ones.
inline XmPattern pattern_with(uint16_t rows, uint16_t channels,
                              std::vector<std::pair<uint32_t, XmCell>> placed) {
  XmPattern p;
  p.rows = rows;
  p.cells.assign(size_t(rows) * channels, XmCell{});
  for (auto& [index, cell] : placed) p.cells[index] = cell;
  return p;
}
