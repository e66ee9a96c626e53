// Clock, ticks, rows, the order table and note triggers.  A tick runs on an
// exact output frame: the remainder counts 1/8192 frame, so tick lengths
// that are not whole frames carry their fraction from tick to tick.
#include "sequencing.h"

#include "effect_codes.h"
#include "effects.h"
#include "instrument_update.h"
#include "mixer.h"
#include "pitch.h"
#include "power_of_two.h"
#include "published_song.h"

namespace {

// Stands in for the cells of a row that lies outside the cell array.
const PatternCell empty_cell{};

uint16_t order_after(const ModuleContext& song, uint16_t order_position) {
  const uint32_t next = uint32_t(order_position) + 1;
  return next >= song.song_length ? song.restart_position : uint16_t(next);
}

const PatternInfo* pattern_at(const ModuleContext& song, uint16_t order_position) {
  const uint8_t pattern = song.order_table[order_position & 0xFF];
  return pattern < song.pattern_count ? &song.patterns[pattern] : nullptr;
}

uint32_t rows_of(const PatternInfo* pattern) {
  return pattern ? pattern->row_count : EMPTY_PATTERN_ROWS;
}

bool is_tone_portamento(const PatternCell& cell) {
  return cell.effect == TONE_PORTA || cell.effect == TONE_PORTA_VOLUME_SLIDE ||
         cell.effect == S3M_TONE_PORTA_VOLUME_SLIDE || (cell.volume_column >> 4) == 0xF;
}

bool is_vibrato(const PatternCell& cell) {
  return cell.effect == VIBRATO || cell.effect == VIBRATO_VOLUME_SLIDE ||
         cell.effect == FINE_VIBRATO || cell.effect == S3M_VIBRATO_VOLUME_SLIDE ||
         (cell.volume_column >> 4) == 0xB;
}

void silence(ChannelState& channel) {
  channel.volume = 0;
  channel.instrument = nullptr;
  channel.sample = nullptr;
}

void read_row(ModuleContext& song) {
  song.row_repeat = 0;
  song.pattern_delay = 0;
  const RowPosition position = upcoming_row(song);
  if (song.jump_pending || song.break_pending) {
    song.jump_pending = 0;
    song.break_pending = 0;
    song.next_row = 0;
  }
  song.order_position = position.order_position;
  song.row = position.row;

  const PatternInfo* pattern = pattern_at(song, position.order_position);
  const uint32_t row_count = rows_of(pattern);
  // A pattern whose rows lie outside the cell array plays as empty rows.
  const bool cells_exist = pattern && position.row < row_count &&
                           uint64_t(pattern->first_row) + row_count <= song.row_count;
  const PatternCell* row_cells =
      cells_exist ? song.cells + (uint64_t(pattern->first_row) + position.row) * song.channel_count
                  : nullptr;
  for (uint32_t c = 0; c < song.channel_count; c++) {
    ChannelState& channel = song.channels[c];
    channel.cell = row_cells ? &row_cells[c] : &empty_cell;
    if (channel.cell->effect != NOTE_DELAY) process_row(song, channel);
    if (channel.arpeggio_active) {
      change_period(channel, 0, PERIOD_WRAPPING);
      channel.arpeggio_active = 0;
      channel.arpeggio_offset = 0;
    }
    if (channel.vibrato_active && !is_vibrato(*channel.cell)) channel.vibrato_offset = 0;
  }

  song.row = uint8_t(song.row + 1);
  if (!song.jump_pending && !song.break_pending && (song.row >= row_count || song.row == 0)) {
    song.row = song.next_row;
    song.next_row = 0;
    song.order_position = order_after(song, song.order_position);
  }
  publish_song_position(song);
}

}  // namespace

uint32_t tick_length(const ModuleContext& song) {
  const uint32_t bpm = song.bpm ? song.bpm : 1;
  return uint32_t(song.output_rate) * 20480u / bpm;
}

void advance_clock(ModuleContext& song) {
  const uint32_t before = song.tick_remainder;
  song.tick_remainder = before - 8192;
  if (before >= 8192) return;
  run_tick(song);
  song.tick_remainder += tick_length(song);
}

bool tick_reads_row(const ModuleContext& song) {
  const bool row_ends = song.tick >= song.tempo;
  const uint8_t tick = row_ends ? 0 : song.tick;
  const uint32_t row_repeat = row_ends ? song.row_repeat + 1u : song.row_repeat;
  return tick == 0 && (song.pattern_delay == 0 || song.pattern_delay < row_repeat);
}

RowPosition upcoming_row(const ModuleContext& song) {
  RowPosition position{song.order_position, song.row};
  if (song.jump_pending) {
    position = {song.jump_order, song.next_row};
  } else if (song.break_pending) {
    position = {order_after(song, song.order_position), song.next_row};
  }
  // A break or loop target beyond the pattern's end starts it from the top.
  if (position.row >= rows_of(pattern_at(song, position.order_position))) position.row = 0;
  return position;
}

void run_tick(ModuleContext& song) {
  if (tick_reads_row(song)) {
    song.tick = 0;
    read_row(song);
  } else if (song.tick >= song.tempo) {
    // Counted in a byte: the 256th pass of a delay of 255 reads the next row
    // above instead of wrapping the count to 0 and holding the row forever.
    song.row_repeat++;
    song.tick = 0;
  }
  const bool later_tick = song.tick != 0 || song.row_repeat != 0;
  for (uint32_t c = 0; c < song.channel_count; c++) {
    ChannelState& channel = song.channels[c];
    update_instrument(channel);
    if (later_tick) later_tick_actions(song, channel);
    if (channel.period != 0) {
      update_pitch(song, channel);
      update_gains(song, channel);
    }
  }
  song.tick++;
}

void process_row(ModuleContext& song, ChannelState& channel) {
  const PatternCell& cell = *channel.cell;
  if (cell.instrument) channel.instrument_number = cell.instrument;
  if (cell.note >= NOTE_KEY_OFF) {
    channel.key_on = 0;
    if (!channel.instrument || channel.instrument->volume_envelope.point_count == 0) {
      channel.volume = 0;
    }
  } else if (cell.note >= NOTE_FIRST && cell.note <= NOTE_LAST) {
    if (is_tone_portamento(cell)) {
      if (channel.sample) {
        const uint16_t n = uint16_t(cell.note + channel.sample->relative_note - 1);
        if (n < 119) channel.target_period = note_period(song, n * 16 + channel.finetune);
      }
    } else {
      channel.note = cell.note;
      trigger(song, channel);
    }
  } else if (cell.note > NOTE_LAST) {
    trigger(song, channel);
  }
  if (cell.instrument) {
    if (channel.sample) {
      channel.volume = channel.sample->volume;
      channel.panning = channel.sample->panning;
    }
    if (cell.note < NOTE_KEY_OFF) reset_instrument_state(channel);
  }
  first_tick_actions(song, channel);
}

void trigger(ModuleContext& song, ChannelState& channel) {
  // No instrument yet, or no note yet to look up: nothing can sound.
  if (channel.instrument_number == 0 || channel.instrument_number > song.instrument_count ||
      channel.note < NOTE_FIRST || channel.note > NOTE_LAST) {
    silence(channel);
    return;
  }
  const Instrument* instrument = &song.instruments[channel.instrument_number - 1];
  channel.instrument = instrument;
  const uint16_t sample_index = instrument->sample_of_note[channel.note - 1];
  if (sample_index >= song.sample_count) {
    silence(channel);
    return;
  }
  const Sample* sample = &song.samples[sample_index];
  const uint16_t n = uint16_t(channel.note + sample->relative_note - 1);
  if (n > 118) return;
  channel.sample = sample;
  const PatternCell& cell = *channel.cell;
  if (cell.note == NOTE_SWITCH_SAMPLE) return;

  channel.finetune = cell.effect == SET_FINETUNE ? int8_t(2 * cell.param - 16) : sample->finetune;
  channel.period = note_period(song, n * 16 + channel.finetune);
  if (cell.effect == SAMPLE_OFFSET) {
    if (cell.param) channel.sample_offset_memory = cell.param;
    channel.position = uint32_t(channel.sample_offset_memory) << 20;
    channel.past_end = uint32_t(channel.sample_offset_memory) * 256 >= sample->length;
  } else {
    channel.position = 0;
    channel.past_end = 0;
  }
  channel.period_correction = 0;
  channel.vibrato_offset = 0;
}

void reset_instrument_state(ChannelState& channel) {
  channel.key_on = 1;
  channel.retrigger_ticks = 0;
  channel.tremor_ticks = 0;
  channel.volume_offset = 0;
  channel.autovibrato_ticks = 0;
  channel.volume_envelope_position = 0;
  channel.panning_envelope_position = 0;
  if (!(channel.vibrato_waveform & WAVEFORM_KEEP_POSITION)) channel.vibrato_position = 0;
  if (!(channel.tremolo_waveform & WAVEFORM_KEEP_POSITION)) channel.tremolo_position = 0;
}

uint16_t note_period(const ModuleContext& song, int32_t note_value) {
  if (song.amiga_frequencies) {
    const float period = 27392.0f * power_of_two(float(note_value) * -0.0052083335f);
    return uint16_t(int32_t(period));
  }
  return uint16_t(4 * (1920 - note_value));
}
