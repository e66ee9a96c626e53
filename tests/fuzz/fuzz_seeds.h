// Small valid modules of every format the loader reads, made by our own
// writers: the fuzzers' starting corpus, and a test that each still loads.
#pragma once

#include "module_context.h"

#include <cstdint>
#include <string>
#include <vector>

struct FuzzSeed {
  ModuleFormat format;
  std::string name;  // file name within the format's corpus folder
  std::vector<uint8_t> bytes;
};

std::vector<FuzzSeed> fuzz_seeds();

// The corpus folder of a format: "xm", "mod", "s3m" or "prepared".
const char* fuzz_format_name(ModuleFormat format);
