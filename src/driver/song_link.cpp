// The timeline's view of the published song (see song_link.h).
#include "song_link.h"

#include "module_context.h"

bool song_is_published() { return published_song.load(std::memory_order_acquire) != nullptr; }

bool read_song_position(uint16_t& order_position, uint8_t& row) {
  const ModuleContext* song = published_song.load(std::memory_order_acquire);
  if (!song) return false;
  order_position = song_order_position(*song);
  row = song_row(*song);
  return true;
}
