// The probe's watch on the audio stream (see stream_watch.h).  Every
// function here runs where the intro made the call, mostly on its audio
// thread, and only counts before passing the call on.
#include "stream_watch.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <ctime>

namespace {

constexpr uint64_t FIRST_SECOND_FRAMES = 48000;
constexpr size_t FRAME_BYTES = 2 * sizeof(float);
constexpr uint32_t MAX_UNDERFLOW_TIMES = 32;

std::atomic<uint64_t> frames_written{0};
std::atomic<uint32_t> underflows{0};
std::atomic<uint32_t> underflows_after_start{0};
std::atomic<uint32_t> target_latency_usec{0};  // the buffer last asked for
// When the first underflows after the start were reported (nanoseconds), so
// that tests can tell a stalled machine from a slow client.
std::atomic<int64_t> underflow_times_ns[MAX_UNDERFLOW_TIMES];

pa_stream_notify_cb_t intro_underflow = nullptr;
void* intro_underflow_data = nullptr;

void note_buffer(const pa_buffer_attr* buffer) {
  const pa_sample_spec format = {PA_SAMPLE_FLOAT32LE, 48000, 2};
  if (buffer) target_latency_usec.store(uint32_t(pa_bytes_to_usec(buffer->tlength, &format)), std::memory_order_relaxed);
}

void count_underflow(pa_stream* s, void*) {
  underflows.fetch_add(1, std::memory_order_relaxed);
  if (frames_written.load(std::memory_order_relaxed) >= FIRST_SECOND_FRAMES) {
    const uint32_t later = underflows_after_start.fetch_add(1, std::memory_order_relaxed);
    if (later < MAX_UNDERFLOW_TIMES) {
      timespec now;
      clock_gettime(CLOCK_MONOTONIC, &now);
      underflow_times_ns[later].store(int64_t(now.tv_sec) * 1000000000 + now.tv_nsec, std::memory_order_relaxed);
    }
  }
  if (intro_underflow) intro_underflow(s, intro_underflow_data);
}

}  // namespace

extern "C" {

int __real_pa_stream_write(pa_stream*, const void*, size_t, pa_free_cb_t, int64_t, pa_seek_mode_t);
int __wrap_pa_stream_write(pa_stream* s, const void* data, size_t bytes, pa_free_cb_t free_data, int64_t offset,
                           pa_seek_mode_t seek) {
  frames_written.fetch_add(bytes / FRAME_BYTES, std::memory_order_relaxed);
  return __real_pa_stream_write(s, data, bytes, free_data, offset, seek);
}

void __real_pa_stream_set_underflow_callback(pa_stream*, pa_stream_notify_cb_t, void*);
void __wrap_pa_stream_set_underflow_callback(pa_stream* s, pa_stream_notify_cb_t callback, void* data) {
  intro_underflow = callback;
  intro_underflow_data = data;
  __real_pa_stream_set_underflow_callback(s, count_underflow, nullptr);
}

int __real_pa_stream_connect_playback(pa_stream*, const char*, const pa_buffer_attr*, pa_stream_flags_t,
                                      const pa_cvolume*, pa_stream*);
int __wrap_pa_stream_connect_playback(pa_stream* s, const char* device, const pa_buffer_attr* buffer,
                                      pa_stream_flags_t flags, const pa_cvolume* volume, pa_stream* sync) {
  note_buffer(buffer);
  return __real_pa_stream_connect_playback(s, device, buffer, flags, volume, sync);
}

pa_operation* __real_pa_stream_set_buffer_attr(pa_stream*, const pa_buffer_attr*, pa_stream_success_cb_t, void*);
pa_operation* __wrap_pa_stream_set_buffer_attr(pa_stream* s, const pa_buffer_attr* buffer,
                                               pa_stream_success_cb_t done, void* data) {
  pa_operation* operation = __real_pa_stream_set_buffer_attr(s, buffer, done, data);
  if (operation) note_buffer(buffer);
  return operation;
}

}  // extern "C"

void print_stream_report(std::FILE* out) {
  const uint32_t after_start = underflows_after_start.load(std::memory_order_relaxed);
  std::fprintf(out, "audio frames %llu underflows %u after_start %u latency_us %u\n",
               static_cast<unsigned long long>(frames_written.load(std::memory_order_relaxed)),
               underflows.load(std::memory_order_relaxed), after_start,
               target_latency_usec.load(std::memory_order_relaxed));
  for (uint32_t i = 0; i < std::min(after_start, MAX_UNDERFLOW_TIMES); i++)
    std::fprintf(out, "underflow at %.4f\n", double(underflow_times_ns[i].load(std::memory_order_relaxed)) * 1e-9);
}
