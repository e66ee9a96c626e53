// The PulseAudio playback path as the rest of the show sees it: start-up of
// the stream and its thread, the playing query, the position being heard
// and the one resume request.
#pragma once

#include "module_context.h"
#include "published_song.h"

// Start-up: main loop, context, corked playback stream and the audio thread.
// Any failure leaves the show silent; nothing here is fatal.
void start_audio_output();

// True exactly when the playback stream exists and is not corked, as the
// audio thread last saw it.  Safe on any thread; never calls into libpulse.
bool stream_is_playing();

// The song position being heard now: the one that began at the latest
// stream frame the server's playback clock has passed.  False where the
// server has given no timing yet.  The render thread only; never calls
// into libpulse.
bool heard_song_position(SongPosition& position);

// Asks the audio thread to uncork the stream; skipped when there is no
// stream.  Returns at once; never calls into libpulse.
void request_stream_resume();
