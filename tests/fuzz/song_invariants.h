// What the loader promises about every song it accepts, and what playback
// keeps true at every moment.  The whole song is one allocation, so a read
// past a region's end stays inside it and no address sanitizer sees it: these
// checks are what catch such a fault in fuzzing.
#pragma once

#include "module_context.h"

// The first loading promise the song breaks, or null when it keeps them all.
const char* broken_loading_promise(const ModuleContext& song);

// The first playback promise broken in the current state, or null.
const char* broken_playing_promise(const ModuleContext& song);
