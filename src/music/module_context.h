// The format-neutral song model: every accepted module format is turned into
// one ModuleContext at load time, and only that is ever played.  The whole
// song and all playback state live in one zero-filled block, laid out as
// header, channels, instruments, samples, patterns, sample pool, cells.
// Readers write the song part during loading; afterwards the song part is
// read-only and the playback part belongs to the audio thread.
#pragma once

#include <atomic>
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

// Limits the readers and the prescan enforce.
constexpr uint32_t MAX_XM_CHANNELS = 255;
constexpr uint32_t MAX_XM_PATTERNS = 256;
constexpr uint32_t MAX_XM_ROWS_PER_PATTERN = 256;
constexpr uint32_t MAX_XM_INSTRUMENTS = 255;
constexpr uint32_t MAX_MOD_CHANNELS = 99;
constexpr uint32_t MAX_MOD_SONG_LENGTH = 128;
constexpr uint32_t MAX_MOD_INSTRUMENTS = 31;
constexpr uint32_t MAX_S3M_CHANNELS = 16;
constexpr uint32_t MAX_S3M_PATTERNS = 256;
constexpr uint32_t MAX_S3M_INSTRUMENTS = 255;
constexpr uint32_t MOD_S3M_ROWS_PER_PATTERN = 64;
constexpr uint32_t MAX_SONG_LENGTH = 256;
constexpr uint32_t MAX_SAMPLES = 65535;
constexpr uint32_t MAX_SAMPLE_FRAMES = 0xFFFFF;
constexpr uint32_t MAX_PING_PONG_SAMPLE_FRAMES = 0x7FFFF;  // XM ping-pong samples
constexpr uint32_t ROW_COUNT_LIMIT = 1u << 24;              // rows in all stay below this
constexpr uint32_t MAX_CONTEXT_SIZE = 0x8000000;            // bytes of the whole block
constexpr uint32_t EMPTY_PATTERN_ROWS = 64;
constexpr uint16_t NO_SAMPLE = 0xFFFF;                      // sample_of_note: note plays nothing
constexpr uint8_t NO_SUSTAIN = 128;
constexpr uint8_t MAX_ENVELOPE_POINTS = 12;
constexpr uint16_t OUTPUT_RATE = 48000;

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

// The one song of the process: null until loading is complete, then stored
// with release ordering; readers load it with acquire ordering.
extern std::atomic<ModuleContext*> published_song;

// The song position for the timeline: the order position and the row the
// replayer reads next, as one value, so that no reader on any architecture
// pairs one row's position with another's row.
struct SongPosition {
  uint16_t order_position;
  uint8_t row;
};

inline uint32_t pack_song_position(uint16_t order_position, uint8_t row) {
  return uint32_t(order_position) << 8 | row;
}

inline SongPosition unpack_song_position(uint32_t packed) {
  return {uint16_t(packed >> 8), uint8_t(packed)};
}

// Any thread.  The block itself is never const, so dropping the const to read is sound.
inline SongPosition song_position(const ModuleContext& song) {
  return unpack_song_position(std::atomic_ref<uint32_t>(const_cast<uint32_t&>(song.published_position))
                                  .load(std::memory_order_relaxed));
}

// The audio thread, after a row read: the pair is published in one store.
inline void publish_song_position(ModuleContext& song) {
  std::atomic_ref<uint32_t>(song.published_position)
      .store(pack_song_position(song.order_position, song.row), std::memory_order_relaxed);
}
