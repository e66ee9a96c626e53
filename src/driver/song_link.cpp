// The timeline's view of the published song (see song_link.h).
#include "song_link.h"

#include "audio_output.h"
#include "module_context.h"
#include "published_song.h"

bool song_is_published() { return published_song.load(std::memory_order_acquire) != nullptr; }

bool read_song_position(uint16_t& order_position, uint8_t& row) {
  const ModuleContext* song = published_song.load(std::memory_order_acquire);
  if (!song) return false;
  // What is heard, where the server's clock says; else what was last rendered.
  SongPosition position;
  if (!heard_song_position(position)) position = song_position(*song);
  order_position = position.order_position;
  row = position.row;
  return true;
}
