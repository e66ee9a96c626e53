// Load-time preparation: recognise the module's format, have its reader
// measure it, allocate the one block at its exact size, have the reader fill
// it, clean up the cells, put the playback state into its start state and
// publish the song.
#pragma once

#include "module_context.h"

// Loads and publishes the song.  Returns the published context, or null when
// the module is rejected (nothing is published then).  The caller decides
// what a rejection means; start-up exits with status 1.
ModuleContext* load_module(const uint8_t* module, uint32_t length);

// Everything load_module does except the publication: the block is the
// caller's, from std::calloc (for tools and tests that load more than one
// song).  Null on rejection.
ModuleContext* prepare_module(const uint8_t* module, uint32_t length);

// The format whose signature the image carries; MOD when nothing else
// matches (the MOD reader then decides by the signature at offset 1080).
ModuleFormat detect_module_format(const uint8_t* module, uint32_t length);

// Byte offsets of the block's regions, each aligned to 8 bytes.
struct ModuleBlockLayout {
  uint32_t channels;
  uint32_t instruments;
  uint32_t samples;
  uint32_t patterns;
  uint32_t sample_data;
  uint32_t cells;
  uint32_t size;
};

// Lays out the block for the prescan's counts in 32-bit arithmetic with every
// step checked.  False on an overflow or a size above MAX_CONTEXT_SIZE.
bool plan_module_block(const ModulePrescan& prescan, ModuleBlockLayout& layout);

// One zero-filled block at the layout's size with the header's region
// pointers set; null when the allocation fails.
ModuleContext* allocate_module_block(const ModuleBlockLayout& layout);

// The clean-up rules over every cell, so that the replayer never meets a
// parameter it must not see.
void clean_up_cells(ModuleContext& context);

// Channel records and playback state as at the start of the song.
void set_start_state(ModuleContext& context);
