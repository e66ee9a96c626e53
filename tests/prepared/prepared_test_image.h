// Helpers of the prepared-image tests: a small song stored by the writer,
// where its tables lie, and byte patches, so that each case states the one
// field it changes.
#pragma once

#include "load_module.h"
#include "music_test_support.h"
#include "prepared_writer.h"

#include <cstring>
#include <vector>

// Table offsets and strides as the header states them.
struct PreparedTables {
  uint64_t patterns, cells, instruments, samples, sample_data, orders, end;
  uint64_t pattern_stride, cell_stride, instrument_stride, sample_stride;
};

inline uint32_t get_le(const std::vector<uint8_t>& image, uint64_t offset, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; i--) value = value << 8 | image.at(offset + i);
  return value;
}

inline void put_le(std::vector<uint8_t>& image, uint64_t offset, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; i++) image.at(offset + i) = uint8_t(value >> (8 * i));
}

inline void put_float(std::vector<uint8_t>& image, uint64_t offset, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  put_le(image, offset, bits, 4);
}

inline PreparedTables tables_of(const std::vector<uint8_t>& image) {
  PreparedTables t;
  t.pattern_stride = image.at(32) * 8u;
  t.cell_stride = image.at(33) * 8u;
  t.instrument_stride = image.at(34) * 8u;
  t.sample_stride = image.at(35) * 8u;
  const uint64_t song_length = std::min<uint32_t>(get_le(image, 10, 2), 256);
  t.patterns = image.at(0) * 8u;
  t.cells = t.patterns + get_le(image, 20, 2) * t.pattern_stride;
  t.instruments = t.cells + uint64_t(get_le(image, 12, 4)) * image.at(25) * t.cell_stride;
  t.samples = t.instruments + image.at(24) * t.instrument_stride;
  t.sample_data = t.samples + get_le(image, 22, 2) * t.sample_stride;
  t.orders = t.sample_data + uint64_t(get_le(image, 16, 4)) * 4;
  t.end = t.orders + song_length * 2;
  return t;
}

inline std::vector<uint8_t> prepared_image_of(const ModuleContext& song,
                                              const PreparedLayout& layout = {}) {
  std::vector<uint8_t> image;
  if (!write_prepared_image(song, layout, image)) std::abort();
  return image;
}

inline LoadedSong load_image(const std::vector<uint8_t>& image) {
  return LoadedSong(prepare_module(image.data(), uint32_t(image.size())));
}
