// The prepared-image writer: any loaded song stored as the flat tables the
// prepared reader copies back, with record strides of the caller's choosing.
// It is how a song is shipped already converted, and how the tests check
// that nothing is lost on the way.
#pragma once

#include "module_context.h"

#include <cstdint>
#include <vector>

// Record strides in units of 8 bytes, and the byte written into every
// stored position the reader does not read (so tests can prove it is not).
struct PreparedLayout {
  uint8_t pattern_stride = 1;
  uint8_t cell_stride = 1;
  uint8_t instrument_stride = 38;
  uint8_t sample_stride = 3;
  uint8_t filler = 0;
};

// The song part of `song` as a prepared image.  False, with `image` left
// empty, when the song cannot be stored: a stride too narrow for its fields,
// or a pattern starting beyond row 65535, whose start the image keeps in
// 16 bits.
bool write_prepared_image(const ModuleContext& song, const PreparedLayout& layout,
                          std::vector<uint8_t>& image);
