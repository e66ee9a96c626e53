// The one way the readers touch a module image: single bytes through a
// bounds-checked read that yields 0 at or past the end, so a truncated module
// reads as if padded with zeros.  Offsets are 64-bit so that sums of stored
// 32-bit sizes can never wrap back into the image.
#pragma once

#include <cstdint>

struct ModuleBytes {
  const uint8_t* data;
  uint32_t length;
};

inline uint8_t module_byte(const ModuleBytes& module, uint64_t offset) {
  return offset < module.length ? module.data[offset] : 0;
}

// A byte that also reads as 0 at or past `end`: bytes past a pattern's packed
// data, fields past an instrument header's declared size.
inline uint8_t module_byte_before(const ModuleBytes& module, uint64_t offset, uint64_t end) {
  return offset < end ? module_byte(module, offset) : 0;
}

inline uint16_t module_u16_le(const ModuleBytes& module, uint64_t offset) {
  return uint16_t(module_byte(module, offset) | module_byte(module, offset + 1) << 8);
}

inline uint32_t module_u32_le(const ModuleBytes& module, uint64_t offset) {
  return uint32_t(module_byte(module, offset)) | uint32_t(module_byte(module, offset + 1)) << 8 |
         uint32_t(module_byte(module, offset + 2)) << 16 |
         uint32_t(module_byte(module, offset + 3)) << 24;
}

// Little-endian fields of a window that ends at `end`.
inline uint16_t module_u16_le_before(const ModuleBytes& module, uint64_t offset, uint64_t end) {
  return uint16_t(module_byte_before(module, offset, end) |
                  module_byte_before(module, offset + 1, end) << 8);
}
