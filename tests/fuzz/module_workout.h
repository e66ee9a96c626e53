// Untrusted bytes loaded as start-up loads them and played for a while, with
// every promise and every output frame checked; shared by the fuzz targets
// and the tests that replay what fuzzing found.
#pragma once

#include <cstddef>
#include <cstdint>

struct WorkoutResult {
  bool loaded;        // false: the loader rejected the bytes
  const char* fault;  // null, or what went wrong
};

WorkoutResult work_out_module(const uint8_t* bytes, size_t length, uint32_t seconds);
