// Reading a whole file (see file_bytes.h).
#include "file_bytes.h"

#include <cstdio>

bool read_file(const char* path, std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  uint8_t buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 && bytes.size() <= 0xFFFFFFFFu) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  const bool ok = !std::ferror(file) && bytes.size() <= 0xFFFFFFFFu;
  std::fclose(file);
  return ok;
}
