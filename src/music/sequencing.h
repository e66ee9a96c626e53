// The replayer's clock and sequencing: output frames grouped into ticks,
// ticks into rows, rows through patterns and the order table, and the
// triggering of notes.  Everything here runs on the audio thread and works
// only on the song's own block.
#pragma once

#include "module_context.h"

// Where the next row read will take the song.
struct RowPosition {
  uint16_t order_position;
  uint8_t row;
};

// Tick length in 1/8192 output frame at the current bpm (never divides by 0).
uint32_t tick_length(const ModuleContext& song);

// Output frames that can be mixed before the frame on which the next tick
// runs (0: the next frame runs a tick).
inline uint32_t frames_before_tick(const ModuleContext& song) {
  return song.tick_remainder >> 13;
}

// Advances the clock by one output frame, running a tick when one is due.
void advance_clock(ModuleContext& song);

// One tick: a new row when due, then every channel's updates.
void run_tick(ModuleContext& song);

// True when the next tick reads a new row.
bool tick_reads_row(const ModuleContext& song);

// The order position and row that the next row read will play.
RowPosition upcoming_row(const ModuleContext& song);

// Row processing of the channel's current cell (also used by note delay).
void process_row(ModuleContext& song, ChannelState& channel);

// Starts the channel's note from its instrument, or silences the channel.
void trigger(ModuleContext& song, ChannelState& channel);

// Key on, counters and envelope positions back to the start of a note.
void reset_instrument_state(ChannelState& channel);

// Period of the note value n * 16 + finetune, linear or Amiga.
uint16_t note_period(const ModuleContext& song, int32_t note_value);
