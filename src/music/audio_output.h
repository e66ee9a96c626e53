// The PulseAudio playback path as the rest of the show sees it: start-up of
// the stream and its thread, the playing query and the one resume request.
#pragma once

#include <cstdint>

// Start-up: main loop, context, corked playback stream and the audio thread.
// Any failure leaves the show silent; nothing here is fatal.
void start_audio_output();

// True exactly when the playback stream exists and is not corked, as the
// audio thread last saw it.  Safe on any thread; never calls into libpulse.
bool stream_is_playing();

// Asks the audio thread to uncork the stream; skipped when there is no
// stream.  Returns at once; never calls into libpulse.
void request_stream_resume();

// What the stream has done so far, for tests and benchmarks.
struct AudioOutputCounts {
  uint64_t frames_rendered;
  uint32_t underflows;             // all the server reported
  uint32_t underflows_after_start; // those after the first second of music
  uint32_t target_latency_usec;    // the buffer asked for, grown by later underflows
};
AudioOutputCounts audio_output_counts();

// The CLOCK_MONOTONIC times, in seconds, of the first underflows after the
// first second of music, up to `capacity`; returns how many were written.
constexpr uint32_t MAX_UNDERFLOW_TIMES = 32;
uint32_t audio_output_underflow_times(double* seconds, uint32_t capacity);
