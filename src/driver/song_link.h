// The published song as the live main loop sees it: whether loading has published
// it, and the position being heard, read without a lock.
#pragma once

#include <cstdint>

bool song_is_published();

// The order position and the row the replayer read next as of the music
// being heard now (as of the last rendered frame where the sound server
// gives no timing); false while no song is published.
bool read_song_position(uint16_t& order_position, uint8_t& row);
