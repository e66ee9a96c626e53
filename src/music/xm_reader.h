// The XM reader (version 0x0104).  Two passes over the same bytes with the
// same rules: xm_prescan measures without writing, so that the one block can
// be sized exactly; xm_load fills the zeroed block.
#pragma once

#include "module_context.h"

// Fills the XM part of the prescan (all but context_size).  False rejects the
// module: a count over its limit, a pattern of more than 256 rows, a sample
// over its frame limit, more than 65535 samples in all.
bool xm_prescan(const uint8_t* module, uint32_t length, ModulePrescan& prescan);

// Fills a zeroed block whose region pointers are set.  row_count,
// pattern_count, sample_count and sample_data_length are running counters
// that end with the values the prescan measured.
void xm_load(ModuleContext& context, const uint8_t* module, uint32_t length);

// Envelope validation: an envelope that is not switched on, has fewer than two
// points or whose frames do not rise strictly is off; sustain and loop points
// that are out of range or not switched on are dropped.
void finalise_envelope(Envelope& envelope, uint8_t type);
