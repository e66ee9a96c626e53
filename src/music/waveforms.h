// The waveform generator shared by vibrato, tremolo and the instruments'
// autovibrato, and the one random state that all of them draw from.
#pragma once

#include <cstdint>

// Process-wide state of the random waveform: every channel and every user
// draws from it in processing order, so a song's output depends on it.
extern uint32_t waveform_random_state;

// Value of waveform `waveform` (bit 7 ignored) at `position`, -128..127.
int8_t waveform_value(uint8_t waveform, uint8_t position);
