// The format-neutral song model: every accepted module format is turned into
// one ModuleContext at load time, and only that is ever played.  The whole
// song and its playback state live in one zero-filled block, laid out as
// header, channels, instruments, samples, patterns, sample pool, cells (only
// the random waveform's generator lies outside it, process-wide).  Readers
// write the song part during loading; afterwards the song part is read-only
// and the playback part belongs to the audio thread.  The cells' values are
// in effect_codes.h, the limits in module_limits.h.
#pragma once

#include <cstdint>

#include "module_limits.h"

struct PatternInfo {
  // Widened from 16 bits so that songs of more than 65,535 rows in all still
  // address every pattern.
  uint32_t first_row;
  uint16_t row_count;
};

struct PatternCell {
  uint8_t note;
  uint8_t instrument;  // 1-based, 0 none
  uint8_t volume_column;
  uint8_t effect;      // internal effect code
  uint8_t param;
};
static_assert(sizeof(PatternCell) == 5);

struct EnvelopePoint {
  uint16_t frame;
  uint8_t value;  // 0..64
};

struct Envelope {
  EnvelopePoint points[MAX_ENVELOPE_POINTS];
  uint8_t point_count;  // 0 = off, else 2..12 with strictly rising frames
  uint8_t sustain_point;  // point index or NO_SUSTAIN
  uint8_t loop_start;
  uint8_t loop_end;  // a loop exists only when loop_end > loop_start
};

struct Instrument {
  Envelope volume_envelope;
  Envelope panning_envelope;
  uint16_t sample_of_note[96];  // global sample index per note 1..96, or NO_SAMPLE
  uint16_t fadeout;
  uint8_t vibrato_waveform;
  uint8_t vibrato_sweep;
  uint8_t vibrato_depth;
  uint8_t vibrato_rate;
};

struct Sample {
  uint32_t data_offset;  // first frame in the sample pool
  uint32_t length;       // frames played; the loop end for a looping sample
  uint32_t loop_length;  // 0 = no loop, else the last loop_length frames
  uint8_t ping_pong : 1;
  uint8_t volume : 7;    // 0..64
  uint8_t panning;
  int8_t finetune;       // sixteenths of a semitone, -16..15
  int8_t relative_note;
};
static_assert(sizeof(Sample) == 16);

struct ChannelState {
  const Instrument* instrument;
  const Sample* sample;  // null: the channel is silent
  const PatternCell* cell;
  uint32_t position;  // 20.12 fixed point frames
  uint32_t step;      // 20.12 fixed point frames per output frame
  float gain_left;
  float gain_right;
  uint16_t period;
  uint16_t target_period;
  uint16_t fadeout_volume;
  uint16_t autovibrato_ticks;
  uint16_t volume_envelope_position;
  uint16_t panning_envelope_position;
  uint8_t volume_envelope_value;
  uint8_t panning_envelope_value;
  uint8_t volume;
  int8_t volume_offset;
  uint8_t panning;
  uint8_t default_panning;
  uint8_t note;
  int8_t finetune;
  uint8_t instrument_number;
  uint8_t volume_slide_memory;
  uint8_t fine_volume_up_memory;
  uint8_t fine_volume_down_memory;
  uint8_t global_volume_slide_memory;
  uint8_t panning_slide_memory;
  uint8_t portamento_up_memory;
  uint8_t portamento_down_memory;
  uint8_t fine_portamento_up_memory;
  uint8_t fine_portamento_down_memory;
  uint8_t extra_fine_portamento_up_memory;
  uint8_t extra_fine_portamento_down_memory;
  uint8_t glissando;
  int8_t period_correction;
  uint8_t tone_portamento_speed;
  uint8_t multi_retrigger_memory;
  uint8_t retrigger_ticks;
  uint8_t loop_start_row;
  uint8_t loop_count;
  uint8_t sample_offset_memory;
  uint8_t past_end;
  uint8_t tremolo_memory;
  uint8_t tremolo_position;
  uint8_t tremolo_waveform;
  uint8_t vibrato_memory;
  uint8_t vibrato_position;
  int8_t vibrato_offset;
  uint8_t vibrato_active;
  uint8_t vibrato_waveform;
  int8_t autovibrato_offset;
  uint8_t arpeggio_active;
  uint8_t arpeggio_offset;
  uint8_t tremor_memory;
  uint8_t tremor_ticks;
  uint8_t tremor_on;
  uint8_t effect_memory;
  uint8_t key_on;
};

struct ModuleContext {
  PatternInfo* patterns;
  PatternCell* cells;
  Instrument* instruments;
  Sample* samples;
  int16_t* sample_data;
  ChannelState* channels;
  uint32_t sample_data_length;  // during loading: the next free frame
  uint32_t row_count;           // during loading: the next free row
  uint16_t song_length;         // 1..256
  uint16_t pattern_count;       // up to 257 with the added empty pattern
  uint16_t sample_count;
  uint8_t channel_count;
  uint8_t instrument_count;
  uint8_t order_table[256];
  uint8_t restart_position;     // always below song_length
  uint8_t default_tempo;
  uint8_t default_bpm;
  uint8_t default_global_volume;
  uint8_t channel_panning[256];
  uint8_t amiga_frequencies;
  uint8_t fast_volume_slides;

  // Playback state, owned by the replayer once the song is published.
  uint32_t tick_remainder;
  uint16_t output_rate;
  uint16_t order_position;
  uint8_t tick;
  uint8_t row;
  uint8_t row_repeat;
  uint8_t pattern_delay;
  uint8_t global_volume;
  uint8_t tempo;
  uint8_t bpm;
  uint8_t break_pending;
  uint8_t jump_pending;
  uint8_t jump_order;
  uint8_t next_row;
  // order_position << 8 | row once a row read is complete: the one value the
  // timeline reads, stored and loaded whole (see song_position).
  uint32_t published_position;
};

enum ModuleFormat : uint8_t {
  MODULE_FORMAT_PREPARED = 0,
  MODULE_FORMAT_XM = 1,
  MODULE_FORMAT_MOD = 2,
  MODULE_FORMAT_MOD_FLT8 = 3,  // MOD with paired 4-channel patterns
  MODULE_FORMAT_S3M = 4,
};

// What a format's measuring step finds, completed with the block size.
struct ModulePrescan {
  uint32_t context_size;
  uint8_t format;  // ModuleFormat
  uint32_t row_count : 24;
  uint32_t sample_data_length;
  uint16_t pattern_count;
  uint16_t sample_count;
  uint16_t song_length;
  uint8_t channel_count;
  uint8_t instrument_count;
};
