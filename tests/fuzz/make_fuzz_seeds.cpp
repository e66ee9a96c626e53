// Writes the fuzzers' seed corpus: make_fuzz_seeds FOLDER puts each seed
// into FOLDER/<format>/ (created beforehand by the caller for each format).
#include "fuzz_seeds.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
    return 2;
  }
  for (const FuzzSeed& seed : fuzz_seeds()) {
    const std::string path = std::string(argv[1]) + "/" + fuzz_format_name(seed.format) + "/" + seed.name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(seed.bytes.data(), 1, seed.bytes.size(), file) == seed.bytes.size();
    if (!file || std::fclose(file) != 0 || !written) {
      std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
