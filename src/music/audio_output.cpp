// The PulseAudio playback path, the only code that talks to libpulse.
// Start-up connects synchronously on the render thread; from then on only
// the audio thread touches libpulse: it iterates the main loop, renders what
// the server asks for, publishes the stream's corked state in an atomic and
// carries out the resume request that the render thread signals through an
// eventfd, so that the standard (single-threaded) main loop is never shared.
#include "audio_output.h"

#include <pthread.h>
#include <sched.h>
#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "module_context.h"
#include "replayer.h"

namespace {

constexpr size_t FRAME_BYTES = 2 * sizeof(float);
// Short enough that the pictures keep up with what is heard, long enough
// that a loaded machine does not run the server dry.
constexpr pa_usec_t TARGET_LATENCY_USEC = 40000;
// Where the server still runs dry (a sound server starved of the cores it
// needs), each underflow buys more room, up to a lag of the sound behind
// the pictures that stays below what viewers notice.
constexpr pa_usec_t LATENCY_STEP_USEC = 20000;
constexpr pa_usec_t MAX_LATENCY_USEC = 100000;
constexpr uint64_t FIRST_SECOND_FRAMES = OUTPUT_RATE;

pa_mainloop* main_loop = nullptr;
pa_context* context = nullptr;
pa_stream* stream = nullptr;
pthread_t audio_thread;
std::atomic<uint8_t> audio_running{0};

// Written by the audio thread after each iteration, read by the render thread.
std::atomic<bool> stream_playing{false};
// The render thread writes to it to ask for the uncork; the main loop polls it.
int resume_signal = -1;

// Touched only by the audio thread.
uint64_t frames_rendered = 0;
pa_usec_t target_latency_usec = TARGET_LATENCY_USEC;

// Renders `bytes` worth of whole frames of the song straight into the
// buffers libpulse lends, one write per buffer.
void write_song(pa_stream* s, ModuleContext& song, size_t bytes) {
  // A count that is not whole frames cannot occur with this format; its
  // remainder is dropped rather than looped on.
  size_t remaining = bytes / FRAME_BYTES * FRAME_BYTES;
  while (remaining > 0) {
    void* data = nullptr;
    size_t lent = remaining;
    if (pa_stream_begin_write(s, &data, &lent) < 0 || !data) return;
    const size_t frames = std::min(lent, remaining) / FRAME_BYTES;
    if (frames == 0) {
      pa_stream_cancel_write(s);
      return;
    }
    render_frames(song, static_cast<float*>(data), static_cast<uint32_t>(frames));
    pa_stream_write(s, data, frames * FRAME_BYTES, nullptr, 0, PA_SEEK_RELATIVE);
    remaining -= frames * FRAME_BYTES;
    frames_rendered += frames;
  }
}

// Renders exactly what the server asks for; nothing while corked, so the
// song does not advance before the music starts.
void on_write_request(pa_stream* s, size_t bytes, void*) {
  if (!s || bytes == 0) return;
  if (pa_stream_is_corked(s) != 0) return;
  ModuleContext* song = published_song.load(std::memory_order_acquire);
  if (!song) return;
  write_song(s, *song, bytes);
}

pa_buffer_attr buffer_for(pa_usec_t latency) {
  const pa_sample_spec format = {PA_SAMPLE_FLOAT32LE, OUTPUT_RATE, 2};
  pa_buffer_attr buffer;
  buffer.maxlength = static_cast<uint32_t>(-1);
  buffer.tlength = static_cast<uint32_t>(pa_usec_to_bytes(latency, &format));
  buffer.prebuf = 0;  // play as soon as anything is written
  buffer.minreq = static_cast<uint32_t>(-1);
  buffer.fragsize = 0;
  return buffer;
}

// Underflows while the stream starts are part of starting; later ones
// mean the buffer is too short for this machine.
void on_underflow(pa_stream* s, void*) {
  if (frames_rendered < FIRST_SECOND_FRAMES || !s || target_latency_usec >= MAX_LATENCY_USEC) return;
  const pa_usec_t longer = std::min(target_latency_usec + LATENCY_STEP_USEC, MAX_LATENCY_USEC);
  const pa_buffer_attr buffer = buffer_for(longer);
  if (pa_operation* operation = pa_stream_set_buffer_attr(s, &buffer, nullptr, nullptr)) {
    pa_operation_unref(operation);
    target_latency_usec = longer;
  }
}

// Runs inside the audio thread's iteration when the render thread has asked.
void on_resume_signal(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void*) {
  uint64_t count;
  if (read(fd, &count, sizeof count) < 0) return;  // already drained
  if (pa_stream_is_corked(stream) == 0) return;
  // With no prebuffering the server plays from the moment of the uncork and
  // skips whatever arrives late, so the first request (made while corked,
  // and answered with nothing) is rendered now, just before the uncork.
  if (ModuleContext* song = published_song.load(std::memory_order_acquire)) {
    const size_t writable = pa_stream_writable_size(stream);
    if (writable != static_cast<size_t>(-1)) write_song(stream, *song, writable);
  }
  if (pa_operation* operation = pa_stream_cork(stream, 0, nullptr, nullptr))
    pa_operation_unref(operation);
}

void publish_stream_state() {
  stream_playing.store(pa_stream_is_corked(stream) == 0, std::memory_order_relaxed);
}

void* run_audio_thread(void*) {
  pthread_setname_np(pthread_self(), "intro-audio");
  // The software renderer keeps every core busy; where the system allows it,
  // the thread that feeds the sound server goes first.  Refused otherwise,
  // which changes nothing.  The thread sleeps in poll, so it cannot starve others.
  const sched_param lowest_real_time = {sched_get_priority_min(SCHED_FIFO)};
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &lowest_real_time);
  while (audio_running.load(std::memory_order_relaxed)) {
    // A negative result means the loop can no longer poll; retrying would
    // spin a core, so the thread ends and the show goes on silently.
    if (pa_mainloop_iterate(main_loop, 1, nullptr) < 0) break;
    publish_stream_state();
  }
  stream_playing.store(false, std::memory_order_relaxed);
  return nullptr;
}

// Iterates until the context is ready; false when it fails.
bool wait_for_context() {
  for (;;) {
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) return true;
    if (!PA_CONTEXT_IS_GOOD(state)) return false;
    pa_mainloop_iterate(main_loop, 1, nullptr);
  }
}

bool wait_for_stream() {
  for (;;) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY) return true;
    if (!PA_STREAM_IS_GOOD(state)) return false;
    pa_mainloop_iterate(main_loop, 1, nullptr);
  }
}

bool connect_stream() {
  pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr);
  if (!wait_for_context()) return false;

  const pa_sample_spec format = {PA_SAMPLE_FLOAT32LE, OUTPUT_RATE, 2};
  stream = pa_stream_new(context, "Playback", &format, nullptr);
  if (!stream) return false;
  pa_stream_set_write_callback(stream, on_write_request, nullptr);
  pa_stream_set_underflow_callback(stream, on_underflow, nullptr);

  const pa_buffer_attr buffer = buffer_for(TARGET_LATENCY_USEC);
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                                    PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
  if (pa_stream_connect_playback(stream, nullptr, &buffer, flags, nullptr, nullptr) < 0) return false;
  if (!wait_for_stream()) return false;

  resume_signal = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (resume_signal < 0) return false;
  pa_mainloop_api* api = pa_mainloop_get_api(main_loop);
  return api->io_new(api, resume_signal, PA_IO_EVENT_INPUT, on_resume_signal, nullptr) != nullptr;
}

}  // namespace

void start_audio_output() {
  main_loop = pa_mainloop_new();
  if (!main_loop) return;
  context = pa_context_new(pa_mainloop_get_api(main_loop), nullptr);
  if (!context) {
    pa_mainloop_free(main_loop);
    main_loop = nullptr;
    return;
  }
  if (!connect_stream()) {
    if (resume_signal >= 0) close(resume_signal);
    resume_signal = -1;
    pa_context_disconnect(context);
    // Freeing the loop frees the stream's and context's events with it.
    pa_mainloop_free(main_loop);
    main_loop = nullptr;
    context = nullptr;
    stream = nullptr;
    return;
  }
  audio_running.store(1, std::memory_order_relaxed);
  if (pthread_create(&audio_thread, nullptr, run_audio_thread, nullptr) != 0) {
    // Without the thread nothing would ever be rendered: behave as silent.
    audio_running.store(0, std::memory_order_relaxed);
    close(resume_signal);
    resume_signal = -1;
  }
}

bool stream_is_playing() { return stream_playing.load(std::memory_order_relaxed); }

void request_stream_resume() {
  if (resume_signal < 0) return;
  const uint64_t one = 1;
  // An eventfd stays readable until drained, so the request cannot be lost
  // between two iterations of the audio thread's loop.
  if (write(resume_signal, &one, sizeof one) < 0) return;
}
