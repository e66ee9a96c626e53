// The per-tick instrument state of a channel: autovibrato with its sweep,
// the fadeout after key off, and the volume and panning envelopes.
#pragma once

#include "module_context.h"

// Advances the channel's instrument state by one tick; nothing without an
// instrument, so the last values stay.
void update_instrument(ChannelState& channel);

// Value of the envelope at the tick counter `position`, advancing the
// counter unless a held sustain point stops it.
uint8_t envelope_value(const Envelope& envelope, uint16_t& position, bool key_on);
