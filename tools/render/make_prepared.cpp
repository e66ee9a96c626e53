// Stores a module as a prepared image: the file is loaded with the intro's
// own loader (any accepted format) and written back already converted.
//
//   make_prepared MODULE OUTPUT [--strides PATTERN CELL INSTRUMENT SAMPLE]
//   make_prepared --version
//
// Strides are in units of 8 bytes; the defaults are the narrowest that hold
// each record's fields.
#include "file_bytes.h"
#include "load_module.h"
#include "prepared_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: make_prepared MODULE OUTPUT [--strides PATTERN CELL INSTRUMENT SAMPLE]\n");
  return 2;
}

bool parse_stride(const char* text, uint8_t& stride) {
  char* end;
  const long value = std::strtol(text, &end, 10);
  if (!*text || *end || value < 1 || value > 255) return false;
  stride = uint8_t(value);
  return true;
}

bool write_file(const char* path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && !std::strcmp(argv[1], "--version")) {
    std::printf("make_prepared %s\n", INTRO_VERSION);
    return 0;
  }
  PreparedLayout layout;
  if (argc == 8 && !std::strcmp(argv[3], "--strides")) {
    if (!parse_stride(argv[4], layout.pattern_stride) || !parse_stride(argv[5], layout.cell_stride) ||
        !parse_stride(argv[6], layout.instrument_stride) ||
        !parse_stride(argv[7], layout.sample_stride)) {
      return usage();
    }
  } else if (argc != 3) {
    return usage();
  }
  std::vector<uint8_t> module;
  if (!read_file(argv[1], module)) {
    std::fprintf(stderr, "make_prepared: cannot read %s\n", argv[1]);
    return 1;
  }
  ModuleContext* song = prepare_module(module.data(), uint32_t(module.size()));
  if (!song) {
    std::fprintf(stderr, "make_prepared: %s is not a module that can be played\n", argv[1]);
    return 1;
  }
  std::vector<uint8_t> image;
  const bool stored = write_prepared_image(*song, layout, image);
  std::free(song);
  if (!stored) {
    std::fprintf(stderr, "make_prepared: %s cannot be stored with these strides\n", argv[1]);
    return 1;
  }
  if (!write_file(argv[2], image)) {
    std::fprintf(stderr, "make_prepared: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
