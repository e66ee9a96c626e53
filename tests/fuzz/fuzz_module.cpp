// A libFuzzer target: bytes of one format (FUZZ_FORMAT, chosen at build
// time) loaded through the show's loader and played for two seconds.
// Bytes of another format are skipped so each target keeps to its reader.
#include "load_module.h"
#include "module_workout.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  ModuleFormat format = detect_module_format(data, uint32_t(size));
  if (format == MODULE_FORMAT_MOD_FLT8) format = MODULE_FORMAT_MOD;
  if (format != FUZZ_FORMAT) return 0;
  const WorkoutResult result = work_out_module(data, size, 2);
  if (result.fault) {
    std::fprintf(stderr, "fault: %s\n", result.fault);
    std::abort();
  }
  return 0;
}
