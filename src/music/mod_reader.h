// The MOD reader (31 samples, 1 to 99 channels, "FLT8" paired patterns).
// Like the XM reader it works in two passes with the same rules: mod_prescan
// measures, mod_load fills the zeroed block.  Effects go through the XM
// conversion plus a few MOD rules.
#pragma once

#include "module_context.h"

// Fills the MOD part of the prescan.  False rejects the module: an unknown
// signature, or more sample data than the image could hold.
bool mod_prescan(const uint8_t* module, uint32_t length, ModulePrescan& prescan);

// Fills a zeroed block whose region pointers are set; running counters end
// with the values the prescan measured.
void mod_load(ModuleContext& context, const uint8_t* module, uint32_t length);

// The note for an Amiga period (1..4095); 0 for period 0.
uint8_t mod_period_to_note(uint32_t period);
