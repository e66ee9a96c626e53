// Instrument update, once per tick and channel before the effects.  The
// envelopes count ticks, one envelope frame per tick.
#include "instrument_update.h"

#include "waveforms.h"

#include <algorithm>

uint8_t envelope_value(const Envelope& envelope, uint16_t& position, bool key_on) {
  const EnvelopePoint* points = envelope.points;
  const uint32_t count = std::min<uint32_t>(envelope.point_count, MAX_ENVELOPE_POINTS);
  uint16_t p = position;
  // Loading keeps these indices valid; checked so that a song that breaks
  // that promise cannot read past the twelve points.
  if (envelope.loop_end < MAX_ENVELOPE_POINTS && envelope.loop_start < MAX_ENVELOPE_POINTS &&
      p == points[envelope.loop_end].frame &&
      (key_on || envelope.loop_end != envelope.sustain_point)) {
    p = points[envelope.loop_start].frame;
    position = p;
  }
  if (key_on && envelope.sustain_point < MAX_ENVELOPE_POINTS &&
      points[envelope.sustain_point].frame == p) {
    return points[envelope.sustain_point].value;
  }
  if (count < 2) return count ? points[0].value : 0;
  uint32_t i = count - 1;
  while (i > 1 && p < points[i - 1].frame) i--;
  position = uint16_t(p + 1);
  // Before the first point there is no segment: hold the first value.
  if (p < points[0].frame) return points[0].value;
  if (p >= points[i].frame) return points[i].value;
  const uint32_t start = points[i - 1].frame, end = points[i].frame;
  return uint8_t((points[i - 1].value * (end - p) + (p - start) * points[i].value) / (end - start));
}

void update_instrument(ChannelState& channel) {
  const Instrument* instrument = channel.instrument;
  if (!instrument) return;

  const uint16_t t = channel.autovibrato_ticks;
  const int32_t wave =
      waveform_value(instrument->vibrato_waveform, uint8_t(instrument->vibrato_rate * t));
  int32_t offset = -int32_t(instrument->vibrato_depth) * wave / 128;
  if (t < instrument->vibrato_sweep) offset = offset * t / instrument->vibrato_sweep;
  // Depths above 127 exceed the signed byte; pin rather than flip the sign.
  channel.autovibrato_offset = int8_t(std::clamp(offset, -128, 127));
  channel.autovibrato_ticks = uint16_t(t + 1);

  if (channel.key_on) {
    channel.fadeout_volume = 32767;
  } else {
    channel.fadeout_volume =
        channel.fadeout_volume > instrument->fadeout ? channel.fadeout_volume - instrument->fadeout : 0;
  }

  channel.volume_envelope_value =
      instrument->volume_envelope.point_count
          ? envelope_value(instrument->volume_envelope, channel.volume_envelope_position, channel.key_on)
          : 64;
  channel.panning_envelope_value =
      instrument->panning_envelope.point_count
          ? envelope_value(instrument->panning_envelope, channel.panning_envelope_position, channel.key_on)
          : 32;
}
