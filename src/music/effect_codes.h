// The values a cell carries once loaded, whatever the format: its note
// values, the internal effect codes that stand for the file's effect letters
// (their behaviour is the replayer's), and the vibrato and tremolo waveforms.
#pragma once

#include <cstdint>

// Cell note values.  1..96 are the notes C-0 to B-7, 12 per octave.
constexpr uint8_t NOTE_NONE = 0;
constexpr uint8_t NOTE_FIRST = 1;
constexpr uint8_t NOTE_LAST = 96;
constexpr uint8_t NOTE_RETRIGGER = 97;      // restart the channel's current note
constexpr uint8_t NOTE_SWITCH_SAMPLE = 98;  // take the instrument's sample for the current note
constexpr uint8_t NOTE_KEY_OFF = 128;

// Internal effect codes carried by the cells instead of the file's letters.
constexpr uint8_t ARPEGGIO = 0;
constexpr uint8_t PORTA_UP = 1;
constexpr uint8_t PORTA_DOWN = 2;
constexpr uint8_t TONE_PORTA = 3;
constexpr uint8_t VIBRATO = 4;
constexpr uint8_t TONE_PORTA_VOLUME_SLIDE = 5;
constexpr uint8_t VIBRATO_VOLUME_SLIDE = 6;
constexpr uint8_t TREMOLO = 7;
constexpr uint8_t SET_PANNING = 8;
constexpr uint8_t SAMPLE_OFFSET = 9;
constexpr uint8_t VOLUME_SLIDE = 10;
constexpr uint8_t POSITION_JUMP = 11;
constexpr uint8_t SET_VOLUME = 12;
constexpr uint8_t PATTERN_BREAK = 13;
constexpr uint8_t SET_TEMPO = 14;
constexpr uint8_t SET_BPM = 15;
constexpr uint8_t SET_GLOBAL_VOLUME = 16;
constexpr uint8_t GLOBAL_VOLUME_SLIDE = 17;
constexpr uint8_t EXTRA_FINE_PORTA_UP = 18;
constexpr uint8_t EXTRA_FINE_PORTA_DOWN = 19;
constexpr uint8_t KEY_OFF = 20;
constexpr uint8_t SET_ENVELOPE_POSITION = 21;
constexpr uint8_t FINE_VIBRATO = 22;
constexpr uint8_t S3M_PORTA_UP = 23;
constexpr uint8_t S3M_PORTA_DOWN = 24;
constexpr uint8_t PANNING_SLIDE = 25;
constexpr uint8_t S3M_VIBRATO_VOLUME_SLIDE = 26;
constexpr uint8_t MULTI_RETRIG = 27;
constexpr uint8_t S3M_TONE_PORTA_VOLUME_SLIDE = 28;
constexpr uint8_t TREMOR = 29;
constexpr uint8_t PATTERN_LOOP_HERE = 30;
constexpr uint8_t S3M_VOLUME_SLIDE = 31;
constexpr uint8_t S3M_RETRIG = 32;
constexpr uint8_t FINE_PORTA_UP = 33;
constexpr uint8_t FINE_PORTA_DOWN = 34;
constexpr uint8_t GLISSANDO_CONTROL = 35;
constexpr uint8_t VIBRATO_WAVEFORM = 36;
constexpr uint8_t SET_FINETUNE = 37;
constexpr uint8_t PATTERN_LOOP = 38;
constexpr uint8_t TREMOLO_WAVEFORM = 39;
constexpr uint8_t SET_CHANNEL_PANNING = 40;
constexpr uint8_t RETRIGGER = 41;
constexpr uint8_t FINE_VOLUME_UP = 42;
constexpr uint8_t FINE_VOLUME_DOWN = 43;
constexpr uint8_t NOTE_CUT = 44;
constexpr uint8_t NOTE_DELAY = 45;
constexpr uint8_t PATTERN_DELAY = 46;
constexpr uint8_t S3M_TREMOLO = 47;
constexpr uint8_t S3M_ARPEGGIO = 48;
constexpr uint8_t S3M_TREMOR = 49;
constexpr uint8_t PARAM_ONLY = 255;

// Vibrato and tremolo waveform numbers; in effect parameters bit 7 keeps the
// waveform running across new notes.
constexpr uint8_t WAVEFORM_SINE = 0;
constexpr uint8_t WAVEFORM_RAMP_DOWN = 1;
constexpr uint8_t WAVEFORM_SQUARE = 2;
constexpr uint8_t WAVEFORM_RANDOM = 3;
constexpr uint8_t WAVEFORM_RAMP_UP = 4;
constexpr uint8_t WAVEFORM_KEEP_POSITION = 0x80;
