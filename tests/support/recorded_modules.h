// Every module image the tests' writers build, kept when a test binary asks
// for it, so that checks over all of them (the prepared-image round trip)
// need no list that could fall behind the tests.
#pragma once

#include <cstdint>
#include <vector>

// Null unless a binary collects the images; the writers append to it.
inline std::vector<std::vector<uint8_t>>* recorded_modules = nullptr;

inline void record_module(const std::vector<uint8_t>& image) {
  if (recorded_modules) recorded_modules->push_back(image);
}
