// XM cell conversion.  Codes 0..12 keep XM's meaning; F splits into ticks per
// row and BPM; the extended E effects become codes 33..46; of the letters only
// those the replayer performs survive, everything else is cleared so that no
// unknown code ever reaches it.
#include "xm_effects.h"

#include "effect_codes.h"

static void clear_effect(PatternCell& cell) {
  cell.effect = 0;
  cell.param = 0;
}

static void convert_extended_effect(PatternCell& cell) {
  const uint8_t x = cell.param >> 4;
  const uint8_t y = cell.param & 0x0F;
  if (x == 0 || x == 15) {
    clear_effect(cell);
    return;
  }
  // E1x..EEx map in order onto codes 33..46.
  cell.effect = uint8_t(FINE_PORTA_UP + x - 1);
  cell.param = y;
  if (cell.effect == SET_CHANNEL_PANNING) {
    cell.param = uint8_t(y * 17);
  } else if (cell.effect == VIBRATO_WAVEFORM || cell.effect == TREMOLO_WAVEFORM) {
    // Bit 2 of y is "keep the waveform position"; it lives in bit 7 here.
    cell.param = uint8_t((y & 3) | ((y & 4) ? WAVEFORM_KEEP_POSITION : 0));
  }
}

void convert_xm_effect(PatternCell& cell) {
  if (cell.effect == PATTERN_BREAK) {
    // The row is stored as two decimal digits in hex nibbles.
    cell.param = uint8_t((cell.param >> 4) * 10 + (cell.param & 0x0F));
  } else if (cell.effect == 15) {
    cell.effect = cell.param < 32 ? SET_TEMPO : SET_BPM;
  } else if (cell.effect == 14) {
    convert_extended_effect(cell);
  }
  if ((cell.effect == VIBRATO_WAVEFORM || cell.effect == TREMOLO_WAVEFORM) &&
      (cell.param & 0x7F) == WAVEFORM_RANDOM) {
    cell.param = uint8_t((cell.param & WAVEFORM_KEEP_POSITION) | WAVEFORM_SQUARE);
  }
}

static void convert_xm_letter_effect(PatternCell& cell) {
  switch (cell.effect) {
    case XM_EFFECT_G:
    case XM_EFFECT_H:
    case XM_EFFECT_L:
    case XM_EFFECT_P:
    case XM_EFFECT_R:
    case XM_EFFECT_T:
      return;  // these letters' numbers are the internal codes
    case XM_EFFECT_K:
      if (cell.param == 0) {
        cell.note = NOTE_KEY_OFF;
        clear_effect(cell);
      }
      return;
    case XM_EFFECT_X:
      if (cell.param >> 4 == 1) {
        cell.effect = EXTRA_FINE_PORTA_UP;
        cell.param &= 0x0F;
      } else if (cell.param >> 4 == 2) {
        cell.effect = EXTRA_FINE_PORTA_DOWN;
        cell.param &= 0x0F;
      } else {
        clear_effect(cell);
      }
      return;
    default:
      clear_effect(cell);
  }
}

void convert_xm_cell(PatternCell& cell) {
  if (cell.note == XM_NOTE_KEY_OFF) cell.note = NOTE_KEY_OFF;
  if (cell.effect >= 16) {
    convert_xm_letter_effect(cell);
  } else {
    convert_xm_effect(cell);
  }
}
