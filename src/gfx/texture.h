// Textures made from the BMP pictures embedded in the executable.
#pragma once

#include <cstdint>

struct Texture {
  int32_t width;
  int32_t height;
  uint32_t id;       // GL texture name
};

// Decodes a BMP from memory into an RGB texture; null when the record cannot
// be allocated, the bytes are not a BMP, or GL gives no texture name.
Texture* load_texture_bmp(const unsigned char* data, int32_t byte_size, int32_t min_filter,
                          int32_t mag_filter, int32_t wrap_s, int32_t wrap_t);
