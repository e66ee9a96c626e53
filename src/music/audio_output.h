// The PulseAudio playback path as the rest of the show sees it: start-up of
// the stream and its thread, the playing query and the one resume request.
#pragma once

// Start-up: main loop, context, corked playback stream and the audio thread.
// Any failure leaves the show silent; nothing here is fatal.
void start_audio_output();

// True exactly when the playback stream exists and is not corked, as the
// audio thread last saw it.  Safe on any thread; never calls into libpulse.
bool stream_is_playing();

// Asks the audio thread to uncork the stream; skipped when there is no
// stream.  Returns at once; never calls into libpulse.
void request_stream_resume();
