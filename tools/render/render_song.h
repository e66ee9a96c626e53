// The offline renderer's loop: a song rendered tick by tick into a WAV file,
// optionally logging every row read, stopping before a chosen row and
// leaving chosen channels out of the mix.
#pragma once

#include "module_context.h"
#include "wav_file.h"

#include <bitset>
#include <cstdio>

struct RenderRequest {
  uint32_t frame_limit;   // at most this many frames
  bool stop_at_row;       // stop just before this row is read
  uint16_t stop_order_position;
  uint8_t stop_row;
  std::FILE* row_log;     // one line per row read, or null
  std::bitset<MAX_XM_CHANNELS> muted;  // played silently: the song's timing stays as it is
};

struct RenderOutcome {
  bool written;           // every frame reached the file
  bool stopped_at_row;
  uint32_t frames;
};

// Renders into an open WAV file; the caller closes it.
RenderOutcome render_song(ModuleContext& song, WavFile& wav, const RenderRequest& request);
