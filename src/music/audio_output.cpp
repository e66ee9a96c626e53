// The PulseAudio playback path, the only code that talks to libpulse.
// Start-up connects synchronously on the render thread; from then on only
// the audio thread touches libpulse: it iterates the main loop, renders what
// the server asks for, publishes the stream's corked state in an atomic and
// carries out the resume request that the render thread signals through an
// eventfd, so that the standard (single-threaded) main loop is never shared.
// So that the pictures follow what is heard, not what was last rendered, it
// logs the stream frame on which each new song position begins and
// publishes the stream's playback clock; the render thread maps one onto
// the other.
#include "audio_output.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "module_context.h"
#include "published_song.h"
#include "real_time_request.h"
#include "replayer.h"
#include "sequencing.h"

namespace {

constexpr size_t FRAME_BYTES = 2 * sizeof(float);
// Enough for an idle machine.  The pictures follow the playback clock, not
// the buffer, so where the server still runs dry (a machine whose cores are
// taken) each underflow doubles the buffer, up to a second.
constexpr pa_usec_t TARGET_LATENCY_USEC = 40000;
constexpr pa_usec_t MAX_LATENCY_USEC = 1000000;
constexpr uint64_t FIRST_SECOND_FRAMES = OUTPUT_RATE;

pa_mainloop* main_loop = nullptr;
pa_context* context = nullptr;
pa_stream* stream = nullptr;
pthread_t audio_thread;
std::atomic<uint8_t> audio_running{0};
std::atomic<pid_t> audio_thread_id{0};  // for the real-time request, made from the render thread

// Written by the audio thread after each iteration, read by the render thread.
std::atomic<bool> stream_playing{false};
// The render thread writes to it to ask for the uncork; the main loop polls it.
int resume_signal = -1;

// Where each song position begins in the stream: entries of stream frame
// << 24 | packed position, the newest at position_starts_logged - 1.  A
// second's buffer holds a few dozen rows; the log keeps hundreds.
constexpr uint32_t POSITION_LOG_SIZE = 512;
constexpr uint32_t POSITION_BITS = 24;
std::atomic<uint64_t> position_starts[POSITION_LOG_SIZE];
std::atomic<uint64_t> position_starts_logged{0};
// CLOCK_MONOTONIC microseconds at which the stream's first frame was heard,
// from the server's timing information; 0 until the server has given any.
std::atomic<uint64_t> stream_origin_usec{0};

// Touched only by the audio thread.
uint64_t frames_rendered = 0;
uint32_t last_logged_position = UINT32_MAX;
pa_usec_t target_latency_usec = TARGET_LATENCY_USEC;

// Touched only by the render thread: the heard frame never goes back,
// though the clock it comes from is re-read with some jitter.
uint64_t heard_frame = 0;

uint64_t monotonic_usec() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000000 + uint64_t(now.tv_nsec) / 1000;
}

void log_position_start(const ModuleContext& song, uint64_t frame) {
  const uint32_t position = pack_song_position(song.order_position, song.row);
  if (position == last_logged_position) return;
  last_logged_position = position;
  const uint64_t logged = position_starts_logged.load(std::memory_order_relaxed);
  position_starts[logged % POSITION_LOG_SIZE].store(frame << POSITION_BITS | position, std::memory_order_relaxed);
  position_starts_logged.store(logged + 1, std::memory_order_release);
}

// Renders in pieces that end where a tick is due, so that a tick (and with
// it any new position) falls on a piece's first frame.
void render_logging_positions(ModuleContext& song, float* frames, uint32_t frame_count) {
  uint32_t done = 0;
  while (done < frame_count) {
    const uint32_t before_tick = frames_before_tick(song);
    const uint32_t piece = before_tick == 0 ? 1 : std::min(before_tick, frame_count - done);
    render_frames(song, frames + 2 * size_t(done), piece);
    log_position_start(song, frames_rendered + done);
    done += piece;
  }
}

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
    render_logging_positions(song, static_cast<float*>(data), static_cast<uint32_t>(frames));
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
  const pa_usec_t longer = std::min(target_latency_usec * 2, MAX_LATENCY_USEC);
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
  // Interpolated by libpulse between the server's timing updates.  Without
  // any yet the last origin stands, so that the heard position never jumps.
  pa_usec_t played = 0;
  if (pa_stream_get_time(stream, &played) < 0) return;
  const uint64_t now = monotonic_usec();
  stream_origin_usec.store(now > played ? now - played : 1, std::memory_order_release);
}

void* run_audio_thread(void*) {
  pthread_setname_np(pthread_self(), "intro-audio");
  audio_thread_id.store(gettid(), std::memory_order_release);
  audio_thread_id.notify_one();
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
    return;
  }
  // The software renderer keeps every core busy; where the system grants it,
  // the thread that feeds the sound server goes first.  It sleeps in poll,
  // so it cannot starve the others.
  audio_thread_id.wait(0, std::memory_order_acquire);
  request_real_time(audio_thread, audio_thread_id.load(std::memory_order_relaxed));
}

bool stream_is_playing() { return stream_playing.load(std::memory_order_relaxed); }

bool heard_song_position(SongPosition& position) {
  const uint64_t origin = stream_origin_usec.load(std::memory_order_acquire);
  const uint64_t logged = position_starts_logged.load(std::memory_order_acquire);
  if (origin == 0 || logged == 0) return false;
  const uint64_t now = monotonic_usec();
  heard_frame = std::max(heard_frame, now > origin ? (now - origin) * OUTPUT_RATE / 1000000 : 0);
  // The newest position begun by the heard frame; past the last rendered
  // frame (the stream ran dry) that is the last one rendered.
  for (uint64_t i = logged; i > 0 && logged - i < POSITION_LOG_SIZE; i--) {
    const uint64_t start = position_starts[(i - 1) % POSITION_LOG_SIZE].load(std::memory_order_relaxed);
    if (start >> POSITION_BITS <= heard_frame) {
      position = unpack_song_position(uint32_t(start & ((1u << POSITION_BITS) - 1)));
      return true;
    }
  }
  return false;
}

void request_stream_resume() {
  if (resume_signal < 0) return;
  const uint64_t one = 1;
  // An eventfd stays readable until drained, so the request cannot be lost
  // between two iterations of the audio thread's loop.
  if (write(resume_signal, &one, sizeof one) < 0) return;
}
