// The published song as the live main loop sees it: whether loading has published
// it, and the replayer's current position, read without a lock.
#pragma once

#include <cstdint>

bool song_is_published();

// The order position and the row the replayer will read next; false while
// no song is published.  The two may come from different rows.
bool read_song_position(uint16_t& order_position, uint8_t& row);
