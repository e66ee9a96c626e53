// Effect and volume-column actions.  The memories live in the channel and
// persist until overwritten; the S3M codes share one memory per channel
// (effect_memory), as S3M does.
#include "effects.h"

#include "effect_codes.h"
#include "instrument_update.h"
#include "sequencing.h"
#include "waveforms.h"

#include <algorithm>

namespace {

constexpr uint8_t retrigger_multiplier[16] = {1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 3, 2};
constexpr uint8_t retrigger_addend[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};

void merge_nibbles(uint8_t& memory, uint8_t value) {
  if (value & 0x0F) memory = (memory & 0xF0) | (value & 0x0F);
  if (value & 0xF0) memory = (memory & 0x0F) | (value & 0xF0);
}

// Below 16 the value slides down by itself; otherwise up by its high nibble.
void bounded_slide(uint8_t& value, uint8_t amount, uint8_t limit) {
  if (amount < 16) {
    value = value > amount ? value - amount : 0;
  } else {
    value = uint8_t(std::min<uint32_t>(uint32_t(value) + (amount >> 4), limit));
  }
}

void remember(uint8_t& memory, uint8_t param) {
  if (param) memory = param;
}

bool is_fine_slide(uint8_t m) {
  const uint8_t high = m >> 4, low = m & 0x0F;
  return high && low && (high == 0xF || low == 0xF);
}

void s3m_volume_slide(ChannelState& channel, uint8_t m) {
  uint8_t amount = m;
  if ((m >> 4) && (m & 0x0F)) amount = (m & 0x0F) == 0xF ? uint8_t(m & 0xF0) : uint8_t(m & 0x0F);
  channel.volume_offset = 0;
  bounded_slide(channel.volume, amount, 64);
}

void volume_slide(ChannelState& channel, uint8_t param) {
  remember(channel.volume_slide_memory, param);
  channel.volume_offset = 0;
  bounded_slide(channel.volume, channel.volume_slide_memory, 64);
}

void round_to_semitone(const ModuleContext& song, ChannelState& channel) {
  change_period(channel, 0, PERIOD_WRAPPING);
  if (song.amiga_frequencies) return;
  const int32_t tune = 4 * channel.finetune;
  const int32_t rounded = ((int32_t(channel.period) + tune + 32) & ~63) - tune;
  channel.period_correction = int8_t(int32_t(channel.period) - rounded);
  channel.period = uint16_t(rounded);
}

void tone_portamento_step(const ModuleContext& song, ChannelState& channel) {
  if (channel.target_period == 0 || channel.period == 0) return;
  const int32_t limit = 4 * channel.tone_portamento_speed;
  const int32_t delta =
      std::clamp(int32_t(channel.target_period) - int32_t(channel.period), -limit, limit);
  change_period(channel, delta, PERIOD_WRAPPING);
  if (channel.glissando) round_to_semitone(song, channel);
}

void vibrato_step(ChannelState& channel) {
  change_period(channel, 0, PERIOD_WRAPPING);
  const int32_t value = waveform_value(channel.vibrato_waveform, channel.vibrato_position);
  channel.vibrato_position += 4 * (channel.vibrato_memory >> 4);
  const int32_t divisor = channel.cell->effect == FINE_VIBRATO ? 64 : 16;
  channel.vibrato_offset = int8_t((channel.vibrato_memory & 0x0F) * value / divisor);
}

void tremolo_step(ChannelState& channel, uint8_t value) {
  uint8_t position = channel.tremolo_position;
  if ((channel.tremolo_waveform & 0x7F) == WAVEFORM_RAMP_DOWN) {
    if (position >= 128) position = uint8_t(128 - position);
    if (channel.vibrato_position >= 128) position = uint8_t(128 - position);
  }
  const int32_t wave = waveform_value(channel.tremolo_waveform, position);
  channel.tremolo_position += 4 * (value >> 4);
  channel.volume_offset = int8_t((value & 0x0F) * wave / 32);
}

void tremor_step(ChannelState& channel, uint8_t value) {
  const uint8_t count = channel.tremor_ticks;
  channel.tremor_ticks = count - 1;
  if (count == 0) {
    const bool was_sounding = channel.tremor_on;
    channel.tremor_on = !was_sounding;
    channel.tremor_ticks = was_sounding ? (value & 0x0F) : (value >> 4);
  }
  channel.volume_offset = channel.tremor_on ? 0 : 64;
}

void arpeggio_step(const ModuleContext& song, ChannelState& channel, uint8_t value) {
  const uint8_t distance = uint8_t(song.tempo - song.tick);
  if (distance == 16 || song.tick == 0 || (distance <= 15 && distance % 3 == 0)) {
    channel.arpeggio_offset = 0;
    return;
  }
  channel.arpeggio_active = 1;
  round_to_semitone(song, channel);
  channel.arpeggio_offset = (distance > 16 || distance % 3 == 2) ? (value & 0x0F) : (value >> 4);
}

void retrigger_step(ModuleContext& song, ChannelState& channel, uint8_t value) {
  const uint8_t volume_column = channel.cell->volume_column;
  if (volume_column != 0 && song.tick == 0) return;
  const uint8_t count = channel.retrigger_ticks + 1;
  if (count < (value & 0x0F)) {
    channel.retrigger_ticks = count;
    return;
  }
  channel.retrigger_ticks = 0;
  trigger(song, channel);
  if (volume_column >= 0x10 && volume_column <= 0x50) return;
  // Eight-bit arithmetic on purpose: a volume of 0 minus 1 becomes 255,
  // which the cut-off below turns into silence.
  const uint8_t h = value >> 4;
  uint8_t v = uint8_t(retrigger_addend[h] + channel.volume - retrigger_addend[h ^ 8]);
  v = uint8_t(v * retrigger_multiplier[h]);
  v = uint8_t(v / retrigger_multiplier[h ^ 8]);
  channel.volume = v >= 240 ? 0 : std::min<uint8_t>(v, 64);
}

void key_off(ChannelState& channel) {
  channel.key_on = 0;
  if (!channel.instrument || channel.instrument->volume_envelope.point_count == 0) {
    channel.volume = 0;
  }
}

void pattern_loop(ModuleContext& song, ChannelState& channel, uint8_t count) {
  if (channel.loop_count == count) {
    channel.loop_count = 0;
    return;
  }
  channel.loop_count++;
  song.jump_pending = 1;
  song.next_row = channel.loop_start_row;
  song.jump_order = uint8_t(song.order_position);
}

void s3m_portamento_fine(ChannelState& channel, uint8_t m, int32_t sign) {
  if ((m >> 4) == 0xE) change_period(channel, sign * (m & 0x0F), PERIOD_STOPPING);
  if ((m >> 4) == 0xF) change_period(channel, sign * 4 * (m & 0x0F), PERIOD_STOPPING);
}

void volume_column_first_tick(ModuleContext& song, ChannelState& channel) {
  const uint8_t value = channel.cell->volume_column;
  const uint8_t x = value & 0x0F;
  if (value >= 0x10 && value <= 0x50) {
    channel.volume_offset = 0;
    channel.volume = value - 0x10;
  }
  if ((value >> 4) == 0xC) channel.panning = 16 * x;
  if ((value >> 4) == 0xF) {
    if (x) channel.tone_portamento_speed = 16 * x;
  } else if (channel.cell->effect == TONE_PORTA && channel.cell->param) {
    channel.tone_portamento_speed = channel.cell->param;
  }
  remember(channel.effect_memory, channel.cell->param);
  if (song.tick != 0) return;
  switch (value >> 4) {
    case 0x8:
      channel.volume_offset = 0;
      bounded_slide(channel.volume, x, 64);
      break;
    case 0x9:
      channel.volume_offset = 0;
      bounded_slide(channel.volume, 16 * x, 64);
      break;
    case 0xA:
      if (x) channel.vibrato_memory = (channel.vibrato_memory & 0x0F) | (x << 4);
      break;
  }
}

void volume_column_later_tick(ModuleContext& song, ChannelState& channel) {
  const uint8_t value = channel.cell->volume_column;
  const uint8_t x = value & 0x0F;
  switch (value >> 4) {
    case 0x6:
      channel.volume_offset = 0;
      bounded_slide(channel.volume, x, 64);
      break;
    case 0x7:
      channel.volume_offset = 0;
      bounded_slide(channel.volume, 16 * x, 64);
      break;
    case 0xB:
      if (x) channel.vibrato_memory = (channel.vibrato_memory & 0xF0) | x;
      channel.vibrato_active = 0;
      vibrato_step(channel);
      break;
    case 0xD:
      bounded_slide(channel.panning, x, 255);
      break;
    case 0xE:
      bounded_slide(channel.panning, 16 * x, 255);
      break;
    case 0xF:
      tone_portamento_step(song, channel);
      break;
  }
}

}  // namespace

void change_period(ChannelState& channel, int32_t delta, PeriodMode mode) {
  const int32_t base = uint16_t(channel.period + channel.period_correction);
  channel.period_correction = 0;
  channel.vibrato_offset = 0;
  const int32_t sum = base + delta;
  const bool outside = sum < 0 || sum > 65535;
  if (mode == PERIOD_CLAMPING && outside) {
    channel.period = delta > 0 ? 32767 : 1;
    return;
  }
  channel.period = uint16_t(sum);
  if (mode == PERIOD_STOPPING && outside) channel.sample = nullptr;
}

void first_tick_actions(ModuleContext& song, ChannelState& channel) {
  volume_column_first_tick(song, channel);
  const uint8_t param = channel.cell->param;
  const uint8_t m = channel.effect_memory;
  switch (channel.cell->effect) {
    case SET_PANNING:
      channel.panning = param;
      break;
    case POSITION_JUMP:
      song.jump_pending = 1;
      song.jump_order = param;
      song.next_row = 0;
      break;
    case SET_VOLUME:
      channel.volume_offset = 0;
      channel.volume = param;
      break;
    case PATTERN_BREAK:
      song.break_pending = 1;
      song.next_row = param;
      break;
    case SET_TEMPO:
      song.tempo = param;
      break;
    case SET_BPM:
      song.bpm = param;
      break;
    case SET_GLOBAL_VOLUME:
      song.global_volume = param;
      break;
    case EXTRA_FINE_PORTA_UP:
      if (param & 0x0F) channel.extra_fine_portamento_up_memory = param;
      change_period(channel, -channel.extra_fine_portamento_up_memory, PERIOD_CLAMPING);
      break;
    case EXTRA_FINE_PORTA_DOWN:
      remember(channel.extra_fine_portamento_down_memory, param);
      change_period(channel, channel.extra_fine_portamento_down_memory, PERIOD_WRAPPING);
      break;
    case SET_ENVELOPE_POSITION:
      channel.volume_envelope_position = param;
      channel.panning_envelope_position = param;
      break;
    case S3M_PORTA_UP:
      s3m_portamento_fine(channel, m, -1);
      break;
    case S3M_PORTA_DOWN:
      s3m_portamento_fine(channel, m, 1);
      break;
    case MULTI_RETRIG:
      merge_nibbles(channel.multi_retrigger_memory, param);
      retrigger_step(song, channel, channel.multi_retrigger_memory);
      break;
    case PATTERN_LOOP_HERE:
      channel.loop_start_row = song.row;
      pattern_loop(song, channel, param);
      break;
    case S3M_VOLUME_SLIDE:
      if ((m >> 4) == 0xF || (m & 0x0F) == 0xF || song.fast_volume_slides) s3m_volume_slide(channel, m);
      break;
    case S3M_RETRIG:
      retrigger_step(song, channel, m);
      break;
    case FINE_PORTA_UP:
      if (param) channel.fine_portamento_up_memory = uint8_t(4 * param);
      change_period(channel, -channel.fine_portamento_up_memory, PERIOD_CLAMPING);
      break;
    case FINE_PORTA_DOWN:
      if (param) channel.fine_portamento_down_memory = uint8_t(4 * param);
      change_period(channel, channel.fine_portamento_down_memory, PERIOD_WRAPPING);
      break;
    case GLISSANDO_CONTROL:
      channel.glissando = param;
      break;
    case VIBRATO_WAVEFORM:
      channel.vibrato_waveform = param;
      break;
    case PATTERN_LOOP:
      if (param == 0) {
        channel.loop_start_row = song.row;
        song.next_row = song.row;
      } else {
        pattern_loop(song, channel, param);
      }
      break;
    case TREMOLO_WAVEFORM:
      channel.tremolo_waveform = param;
      break;
    case SET_CHANNEL_PANNING:
      channel.default_panning = param;
      break;
    case FINE_VOLUME_UP:
      if (param) channel.fine_volume_up_memory = uint8_t(16 * param);
      channel.volume_offset = 0;
      bounded_slide(channel.volume, channel.fine_volume_up_memory, 64);
      break;
    case FINE_VOLUME_DOWN:
      remember(channel.fine_volume_down_memory, param);
      channel.volume_offset = 0;
      bounded_slide(channel.volume, channel.fine_volume_down_memory, 64);
      break;
    case PATTERN_DELAY:
      song.pattern_delay = param;
      break;
    case S3M_TREMOR:
      tremor_step(channel, m);
      break;
  }
}

void later_tick_actions(ModuleContext& song, ChannelState& channel) {
  if (!channel.cell) return;
  volume_column_later_tick(song, channel);
  const uint8_t param = channel.cell->param;
  const uint8_t m = channel.effect_memory;
  switch (channel.cell->effect) {
    case ARPEGGIO:
      if (param) arpeggio_step(song, channel, param);
      break;
    case PORTA_UP:
      remember(channel.portamento_up_memory, param);
      change_period(channel, -4 * channel.portamento_up_memory, PERIOD_CLAMPING);
      break;
    case PORTA_DOWN:
      remember(channel.portamento_down_memory, param);
      change_period(channel, 4 * channel.portamento_down_memory, PERIOD_WRAPPING);
      break;
    case TONE_PORTA:
      tone_portamento_step(song, channel);
      break;
    case VIBRATO:
    case FINE_VIBRATO:
      merge_nibbles(channel.vibrato_memory, param);
      channel.vibrato_active = 1;
      vibrato_step(channel);
      break;
    case TONE_PORTA_VOLUME_SLIDE:
      tone_portamento_step(song, channel);
      volume_slide(channel, param);
      break;
    case VIBRATO_VOLUME_SLIDE:
      channel.vibrato_active = 1;
      vibrato_step(channel);
      volume_slide(channel, param);
      break;
    case TREMOLO:
      merge_nibbles(channel.tremolo_memory, param);
      tremolo_step(channel, channel.tremolo_memory);
      break;
    case VOLUME_SLIDE:
      volume_slide(channel, param);
      break;
    case GLOBAL_VOLUME_SLIDE:
      remember(channel.global_volume_slide_memory, param);
      bounded_slide(song.global_volume, channel.global_volume_slide_memory, 64);
      break;
    case KEY_OFF:
      if (song.tick == param) key_off(channel);
      break;
    case S3M_PORTA_UP:
      if (m <= 0xDF) change_period(channel, -4 * m, PERIOD_STOPPING);
      break;
    case S3M_PORTA_DOWN:
      if (m <= 0xDF) change_period(channel, 4 * m, PERIOD_STOPPING);
      break;
    case PANNING_SLIDE:
      remember(channel.panning_slide_memory, param);
      bounded_slide(channel.panning, channel.panning_slide_memory, 255);
      break;
    case S3M_VIBRATO_VOLUME_SLIDE:
      if (is_fine_slide(m)) break;
      channel.vibrato_active = 1;
      vibrato_step(channel);
      s3m_volume_slide(channel, m);
      break;
    case MULTI_RETRIG:
      retrigger_step(song, channel, channel.multi_retrigger_memory);
      break;
    case S3M_TONE_PORTA_VOLUME_SLIDE:
      if (is_fine_slide(m)) break;
      tone_portamento_step(song, channel);
      s3m_volume_slide(channel, m);
      break;
    case TREMOR:
      remember(channel.tremor_memory, param);
      tremor_step(channel, channel.tremor_memory);
      break;
    case S3M_VOLUME_SLIDE:
      if (!is_fine_slide(m)) s3m_volume_slide(channel, m);
      break;
    case S3M_RETRIG:
      retrigger_step(song, channel, m);
      break;
    case RETRIGGER:
      // Loading never leaves a zero interval; it would divide by zero here.
      if (param && song.tick % param == 0) {
        reset_instrument_state(channel);
        trigger(song, channel);
        update_instrument(channel);
      }
      break;
    case NOTE_CUT:
      if (song.tick == param) channel.volume = 0;
      break;
    case NOTE_DELAY:
      if (song.tick == param) {
        process_row(song, channel);
        // A delayed key off must leave the key released, as an undelayed one does.
        if (channel.cell->note < NOTE_KEY_OFF) {
          reset_instrument_state(channel);
          trigger(song, channel);
        }
        update_instrument(channel);
      }
      break;
    case S3M_TREMOLO:
      tremolo_step(channel, m);
      channel.volume_offset = int8_t(channel.volume_offset >> 1);
      break;
    case S3M_ARPEGGIO:
      arpeggio_step(song, channel, m);
      break;
    case S3M_TREMOR:
      tremor_step(channel, m);
      break;
  }
}
