// What the audio thread and the render thread share of the song, and how:
// the song pointer, published once when loading is complete, and the
// position the replayer stands at, published as one value after each row.
#pragma once

#include <atomic>
#include <cstdint>

#include "module_context.h"

// The one song of the process: null until loading is complete, then stored
// with release ordering; readers load it with acquire ordering.
extern std::atomic<ModuleContext*> published_song;

// The song position for the timeline: the order position and the row the
// replayer reads next, as one value, so that no reader on any architecture
// pairs one row's position with another's row.
struct SongPosition {
  uint16_t order_position;
  uint8_t row;
};

inline uint32_t pack_song_position(uint16_t order_position, uint8_t row) {
  return uint32_t(order_position) << 8 | row;
}

inline SongPosition unpack_song_position(uint32_t packed) {
  return {uint16_t(packed >> 8), uint8_t(packed)};
}

// Any thread.  The block itself is never const, so dropping the const to read is sound.
inline SongPosition song_position(const ModuleContext& song) {
  return unpack_song_position(std::atomic_ref<uint32_t>(const_cast<uint32_t&>(song.published_position))
                                  .load(std::memory_order_relaxed));
}

// The audio thread, after a row read: the pair is published in one store.
inline void publish_song_position(ModuleContext& song) {
  std::atomic_ref<uint32_t>(song.published_position)
      .store(pack_song_position(song.order_position, song.row), std::memory_order_relaxed);
}
