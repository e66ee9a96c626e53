// WAV writer: an IEEE-float format chunk, a fact chunk with the frame count
// and the data chunk, whose sizes are filled in when the file is closed.
#include "wav_file.h"

#include <bit>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

static_assert(std::endian::native == std::endian::little, "WAV data is little-endian");

namespace {

constexpr uint32_t header_size = 12 + 26 + 12 + 8;
constexpr uint32_t bytes_per_frame = 8;

void put16(uint8_t*& p, uint32_t v) {
  *p++ = uint8_t(v);
  *p++ = uint8_t(v >> 8);
}

void put32(uint8_t*& p, uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p, v >> 16);
}

void put_tag(uint8_t*& p, const char* tag) {
  std::memcpy(p, tag, 4);
  p += 4;
}

bool write_header(std::FILE* file, uint32_t frames) {
  uint8_t header[header_size];
  uint8_t* p = header;
  const uint32_t data_bytes = frames * bytes_per_frame;
  put_tag(p, "RIFF");
  put32(p, header_size - 8 + data_bytes);
  put_tag(p, "WAVE");
  put_tag(p, "fmt ");
  put32(p, 18);
  put16(p, 3);  // IEEE float
  put16(p, 2);
  put32(p, 48000);
  put32(p, 48000 * bytes_per_frame);
  put16(p, bytes_per_frame);
  put16(p, 32);
  put16(p, 0);
  put_tag(p, "fact");
  put32(p, 4);
  put32(p, frames);
  put_tag(p, "data");
  put32(p, data_bytes);
  return std::fwrite(header, 1, header_size, file) == header_size;
}

}  // namespace

bool wav_open(WavFile& wav, const char* path) {
  wav.frames_written = 0;
  wav.frames_reserved = 0;
  wav.file = std::fopen(path, "wb");
  if (!wav.file) return false;
  if (write_header(wav.file, 0)) return true;
  std::fclose(wav.file);
  wav.file = nullptr;
  return false;
}

void wav_reserve(WavFile& wav, uint32_t frame_count) {
  const uint64_t bytes = header_size + uint64_t(frame_count) * bytes_per_frame;
  if (bytes > 0xFFFFFFFFu || std::fflush(wav.file) != 0) return;
  // Failure only loses the speed-up (some files cannot be allocated ahead).
  if (fallocate(fileno(wav.file), 0, 0, off_t(bytes)) == 0) wav.frames_reserved = frame_count;
}

bool wav_write(WavFile& wav, const float* frames, uint32_t frame_count) {
  // The 32-bit RIFF sizes end just below 4 GiB.
  if (uint64_t(wav.frames_written) + frame_count > (0xFFFFFFFFu - header_size) / bytes_per_frame) {
    return false;
  }
  if (std::fwrite(frames, bytes_per_frame, frame_count, wav.file) != frame_count) return false;
  wav.frames_written += frame_count;
  return true;
}

bool wav_close(WavFile& wav) {
  bool ok = std::fseek(wav.file, 0, SEEK_SET) == 0 && write_header(wav.file, wav.frames_written);
  // Room reserved beyond the frames written is cut off.
  if (ok && wav.frames_reserved > wav.frames_written) {
    const off_t used = off_t(header_size + uint64_t(wav.frames_written) * bytes_per_frame);
    ok = std::fflush(wav.file) == 0 && ftruncate(fileno(wav.file), used) == 0;
  }
  ok = std::fclose(wav.file) == 0 && ok;
  wav.file = nullptr;
  return ok;
}
