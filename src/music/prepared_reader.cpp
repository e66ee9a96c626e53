// The prepared-image reader.  Every byte goes through module_byte, and every
// table position is computed in 64 bits from the header, so no stored count
// or stride can move a read outside the image.  The checks all happen in the
// prescan; by the time the block exists the image is known to be sound.
#include "prepared_reader.h"

#include "module_bytes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct PreparedHeader {
  uint32_t stored_song_length;
  uint32_t song_length;  // at most 256: the order table has no more entries
  uint32_t row_count;
  uint32_t sample_data_length;
  uint32_t pattern_count;
  uint32_t sample_count;
  uint32_t instrument_count;
  uint32_t channel_count;
  uint8_t restart_position;
  uint8_t default_tempo;
  uint8_t default_bpm;
  uint8_t default_global_volume;
  uint16_t flags;
  uint64_t pattern_stride, cell_stride, instrument_stride, sample_stride;  // bytes
  // Where each table starts; `end` is one past the order table.
  uint64_t patterns, cells, instruments, samples, sample_data, orders, end;
};

PreparedHeader read_header(const ModuleBytes& module) {
  PreparedHeader h;
  h.stored_song_length = module_u16_le(module, 10);
  h.song_length = std::min<uint32_t>(h.stored_song_length, MAX_SONG_LENGTH);
  h.row_count = module_u32_le(module, 12);
  h.sample_data_length = module_u32_le(module, 16);
  h.pattern_count = module_u16_le(module, 20);
  h.sample_count = module_u16_le(module, 22);
  h.instrument_count = module_byte(module, 24);
  h.channel_count = module_byte(module, 25);
  h.restart_position = module_byte(module, 26);
  h.default_tempo = module_byte(module, 27);
  h.default_bpm = module_byte(module, 28);
  h.default_global_volume = module_byte(module, 29);
  h.flags = module_u16_le(module, 30);
  h.pattern_stride = uint64_t(module_byte(module, 32)) * PREPARED_UNIT;
  h.cell_stride = uint64_t(module_byte(module, 33)) * PREPARED_UNIT;
  h.instrument_stride = uint64_t(module_byte(module, 34)) * PREPARED_UNIT;
  h.sample_stride = uint64_t(module_byte(module, 35)) * PREPARED_UNIT;

  // At most 2^24 rows x 255 channels x 2040 bytes: far inside 64 bits.
  h.patterns = uint64_t(module_byte(module, 0)) * PREPARED_UNIT;
  h.cells = h.patterns + h.pattern_count * h.pattern_stride;
  h.instruments = h.cells + uint64_t(h.row_count) * h.channel_count * h.cell_stride;
  h.samples = h.instruments + h.instrument_count * h.instrument_stride;
  h.sample_data = h.samples + h.sample_count * h.sample_stride;
  h.orders = h.sample_data + uint64_t(h.sample_data_length) * 4;
  h.end = h.orders + uint64_t(h.song_length) * 2;
  return h;
}

// A table of records needs a stride that holds the fields read from each.
bool stride_fits(uint32_t records, uint64_t stride, uint32_t fields) {
  return records == 0 || stride >= fields;
}

bool header_is_sound(const ModuleBytes& module, const PreparedHeader& h) {
  if (module_byte(module, 1) != 0) return false;
  if (h.row_count >= ROW_COUNT_LIMIT) return false;
  // No positions is no song; a BPM of 0 would give ticks of no end.
  if (h.song_length == 0 || h.default_bpm == 0) return false;
  // The mixer's gain product has room for volumes up to 64 only.
  if (h.default_global_volume > 64) return false;
  // The song model holds 256 patterns and the one added for missing order entries.
  if (h.pattern_count > MAX_XM_PATTERNS + 1) return false;
  if (!stride_fits(h.pattern_count, h.pattern_stride, PREPARED_PATTERN_FIELDS) ||
      !stride_fits(h.row_count * h.channel_count, h.cell_stride, PREPARED_CELL_FIELDS) ||
      !stride_fits(h.instrument_count, h.instrument_stride, PREPARED_INSTRUMENT_FIELDS) ||
      !stride_fits(h.sample_count, h.sample_stride, PREPARED_SAMPLE_FIELDS)) {
    return false;
  }
  // An image that ends inside its tables is damaged, not a song with silence.
  return h.end <= module.length;
}

bool patterns_are_sound(const ModuleBytes& module, const PreparedHeader& h) {
  for (uint32_t p = 0; p < h.pattern_count; p++) {
    const uint64_t record = h.patterns + p * h.pattern_stride;
    const uint32_t first_row = module_u16_le(module, record);
    const uint32_t rows = module_u16_le(module, record + 2);
    // The row position is a byte, and a pattern of no rows has none to read.
    if (rows == 0 || rows > MAX_XM_ROWS_PER_PATTERN) return false;
    if (first_row + rows > h.row_count) return false;
  }
  for (uint32_t i = 0; i < h.song_length; i++) {
    if (module_byte(module, h.orders + 2 * i) >= h.pattern_count) return false;
  }
  return true;
}

bool samples_are_sound(const ModuleBytes& module, const PreparedHeader& h) {
  for (uint32_t s = 0; s < h.sample_count; s++) {
    const uint64_t record = h.samples + s * h.sample_stride;
    const uint32_t data_offset = module_u32_le(module, record);
    const uint32_t length = module_u32_le(module, record + 4);
    const uint32_t loop_length = module_u32_le(module, record + 8);
    const bool ping_pong = module_byte(module, record + 12) & 1;
    if (uint64_t(data_offset) + length > h.sample_data_length) return false;
    if (loop_length > length) return false;
    if ((module_byte(module, record + 13) & 0x7F) > 64) return false;
    if (length > (ping_pong ? MAX_PING_PONG_SAMPLE_FRAMES : MAX_SAMPLE_FRAMES)) return false;
  }
  return true;
}

// Off, or 2..12 points with strictly rising frames and values up to 64, a
// sustain point that is a point or none, and a loop between two points or
// none at all.
bool envelope_is_sound(const ModuleBytes& module, uint64_t envelope) {
  const uint32_t count = module_byte(module, envelope + 48);
  if (count == 0) return true;
  if (count < 2 || count > MAX_ENVELOPE_POINTS) return false;
  for (uint32_t i = 0; i < count; i++) {
    if (module_byte(module, envelope + 4 * i + 2) > 64) return false;
    if (i > 0 &&
        module_u16_le(module, envelope + 4 * i) <= module_u16_le(module, envelope + 4 * (i - 1))) {
      return false;
    }
  }
  const uint32_t sustain = module_byte(module, envelope + 49);
  const uint32_t loop_start = module_byte(module, envelope + 50);
  const uint32_t loop_end = module_byte(module, envelope + 51);
  if (sustain >= count && sustain != NO_SUSTAIN) return false;
  const bool no_loop = loop_start == 0 && loop_end == 0;
  return no_loop || (loop_start < loop_end && loop_end < count);
}

bool instruments_are_sound(const ModuleBytes& module, const PreparedHeader& h) {
  for (uint32_t i = 0; i < h.instrument_count; i++) {
    const uint64_t record = h.instruments + i * h.instrument_stride;
    if (!envelope_is_sound(module, record) ||
        !envelope_is_sound(module, record + PREPARED_ENVELOPE_SIZE)) {
      return false;
    }
    for (uint32_t n = 0; n < 96; n++) {
      const uint16_t sample = module_u16_le(module, record + PREPARED_SAMPLE_MAP_OFFSET + 2 * n);
      if (sample >= h.sample_count && sample != NO_SAMPLE) return false;
    }
  }
  return true;
}

void read_envelope(const ModuleBytes& module, uint64_t start, Envelope& envelope) {
  for (uint32_t i = 0; i < MAX_ENVELOPE_POINTS; i++) {
    envelope.points[i].frame = module_u16_le(module, start + 4 * i);
    envelope.points[i].value = module_byte(module, start + 4 * i + 2);
  }
  envelope.point_count = module_byte(module, start + 48);
  envelope.sustain_point = module_byte(module, start + 49);
  envelope.loop_start = module_byte(module, start + 50);
  envelope.loop_end = module_byte(module, start + 51);
}

float read_float(const ModuleBytes& module, uint64_t offset) {
  const uint32_t bits = module_u32_le(module, offset);
  float value;
  static_assert(sizeof value == sizeof bits);
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

int16_t prepared_frame(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 1.0f) return 32767;
  if (value < -1.0f) return -32768;
  // Scaling by a power of two is exact; the cast truncates towards 0.
  return int16_t(int32_t(value * 32768.0f));
}

bool prepared_prescan(const uint8_t* data, uint32_t length, ModulePrescan& prescan) {
  const ModuleBytes module{data, length};
  const PreparedHeader h = read_header(module);
  if (!header_is_sound(module, h) || !patterns_are_sound(module, h) ||
      !samples_are_sound(module, h) || !instruments_are_sound(module, h)) {
    return false;
  }
  prescan.format = MODULE_FORMAT_PREPARED;
  prescan.row_count = h.row_count;
  prescan.sample_data_length = h.sample_data_length;
  prescan.pattern_count = uint16_t(h.pattern_count);
  prescan.sample_count = uint16_t(h.sample_count);
  prescan.song_length = uint16_t(h.song_length);
  prescan.channel_count = uint8_t(h.channel_count);
  prescan.instrument_count = uint8_t(h.instrument_count);
  return true;
}

void prepared_load(ModuleContext& context, const uint8_t* data, uint32_t length) {
  const ModuleBytes module{data, length};
  const PreparedHeader h = read_header(module);
  context.song_length = uint16_t(h.song_length);
  context.row_count = h.row_count;
  context.sample_data_length = h.sample_data_length;
  context.pattern_count = uint16_t(h.pattern_count);
  context.sample_count = uint16_t(h.sample_count);
  context.instrument_count = uint8_t(h.instrument_count);
  context.channel_count = uint8_t(h.channel_count);
  context.restart_position = h.restart_position < h.song_length ? h.restart_position : 0;
  context.default_tempo = h.default_tempo;
  context.default_bpm = h.default_bpm;
  context.default_global_volume = h.default_global_volume;
  context.amiga_frequencies = h.flags & 1;
  context.fast_volume_slides = (h.flags >> 1) & 1;
  for (uint32_t c = 0; c < h.channel_count; c++) {
    context.channel_panning[c] = module_byte(module, PREPARED_PANNING_OFFSET + c);
  }

  for (uint32_t p = 0; p < h.pattern_count; p++) {
    const uint64_t record = h.patterns + p * h.pattern_stride;
    context.patterns[p].first_row = module_u16_le(module, record);
    context.patterns[p].row_count = module_u16_le(module, record + 2);
  }

  const uint64_t cell_count = uint64_t(h.row_count) * h.channel_count;
  for (uint64_t i = 0; i < cell_count; i++) {
    const uint64_t record = h.cells + i * h.cell_stride;
    PatternCell& cell = context.cells[i];
    cell.note = module_byte(module, record);
    cell.instrument = module_byte(module, record + 1);
    cell.volume_column = module_byte(module, record + 2);
    cell.effect = module_byte(module, record + 3);
    cell.param = module_byte(module, record + 4);
  }

  for (uint32_t i = 0; i < h.instrument_count; i++) {
    const uint64_t record = h.instruments + i * h.instrument_stride;
    Instrument& instrument = context.instruments[i];
    read_envelope(module, record, instrument.volume_envelope);
    read_envelope(module, record + PREPARED_ENVELOPE_SIZE, instrument.panning_envelope);
    instrument.fadeout = module_u16_le(module, record + 104);
    instrument.vibrato_waveform = module_byte(module, record + 106);
    instrument.vibrato_sweep = module_byte(module, record + 107);
    instrument.vibrato_depth = module_byte(module, record + 108);
    instrument.vibrato_rate = module_byte(module, record + 109);
    for (uint32_t n = 0; n < 96; n++) {
      instrument.sample_of_note[n] =
          module_u16_le(module, record + PREPARED_SAMPLE_MAP_OFFSET + 2 * n);
    }
  }

  for (uint32_t s = 0; s < h.sample_count; s++) {
    const uint64_t record = h.samples + s * h.sample_stride;
    Sample& sample = context.samples[s];
    sample.data_offset = module_u32_le(module, record);
    sample.length = module_u32_le(module, record + 4);
    sample.loop_length = module_u32_le(module, record + 8);
    sample.ping_pong = module_byte(module, record + 12) & 1;
    sample.volume = module_byte(module, record + 13) & 0x7F;
    sample.panning = module_byte(module, record + 14);
    sample.finetune = int8_t(module_byte(module, record + 15));
    sample.relative_note = int8_t(module_byte(module, record + 16));
  }

  for (uint32_t f = 0; f < h.sample_data_length; f++) {
    context.sample_data[f] = prepared_frame(read_float(module, h.sample_data + 4 * uint64_t(f)));
  }

  for (uint32_t i = 0; i < h.song_length; i++) {
    context.order_table[i] = module_byte(module, h.orders + 2 * i);
  }
}
