// Writing 48 kHz stereo 32-bit float WAV files, for the offline renderer and
// the benchmarks.
#pragma once

#include <cstdint>
#include <cstdio>

struct WavFile {
  std::FILE* file;
  uint32_t frames_written;
  uint32_t frames_reserved;  // room allocated ahead, cut back at close
};

// Creates the file and writes a header to be completed by wav_close.  False
// when the file cannot be created.
bool wav_open(WavFile& wav, const char* path);

// Reserves room for `frame_count` frames, so that the file system allocates
// the file in one go instead of with every write; only a hint.
void wav_reserve(WavFile& wav, uint32_t frame_count);

// Appends frames (left, right floats); false on a write error.
bool wav_write(WavFile& wav, const float* frames, uint32_t frame_count);

// Completes the header with the sizes and closes the file; false on error.
bool wav_close(WavFile& wav);
