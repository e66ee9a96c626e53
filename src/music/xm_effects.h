// Conversion of XM cells into the song model's encoding: key-off notes and
// the XM effect letters into internal effect codes.  convert_xm_effect is
// shared with the MOD reader, whose effects 0..F are XM's.
#pragma once

#include "module_context.h"

// XM effect bytes at or above 16 are the letters G, H, I, ...
constexpr uint8_t XM_EFFECT_G = 16;
constexpr uint8_t XM_EFFECT_H = 17;
constexpr uint8_t XM_EFFECT_K = 20;
constexpr uint8_t XM_EFFECT_L = 21;
constexpr uint8_t XM_EFFECT_P = 25;
constexpr uint8_t XM_EFFECT_R = 27;
constexpr uint8_t XM_EFFECT_T = 29;
constexpr uint8_t XM_EFFECT_X = 33;
constexpr uint8_t XM_NOTE_KEY_OFF = 97;

// Rewrites the effect and parameter of a cell whose effect byte is below 16.
void convert_xm_effect(PatternCell& cell);

// Converts one cell as read from an XM pattern: note, then effect.
void convert_xm_cell(PatternCell& cell);
