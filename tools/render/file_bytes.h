// A whole file read into memory, for the tools that take a module by path.
#pragma once

#include <cstdint>
#include <vector>

// Appends the file's bytes; false when it cannot be read or holds more than
// 4 GiB, more than any module's 32-bit sizes can describe.
bool read_file(const char* path, std::vector<uint8_t>& bytes);
