// The timeline's view of the published song (see song_link.h).
#include "song_link.h"

bool song_is_published() { return false; }

bool read_song_position(uint16_t&, uint8_t&) { return false; }
