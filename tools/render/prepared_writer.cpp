// The prepared-image writer.  It lays the tables out one after another from
// the first 8-byte boundary after the channel pannings, each record padded
// to its stride with the filler byte.
#include "prepared_writer.h"

#include "prepared_reader.h"

#include <cstring>

namespace {

struct ImageWriter {
  std::vector<uint8_t>& out;

  void put8(uint64_t offset, uint8_t value) { out[offset] = value; }
  void put16(uint64_t offset, uint16_t value) {
    put8(offset, uint8_t(value));
    put8(offset + 1, uint8_t(value >> 8));
  }
  void put32(uint64_t offset, uint32_t value) {
    put16(offset, uint16_t(value));
    put16(offset + 2, uint16_t(value >> 16));
  }
};

void put_envelope(ImageWriter& w, uint64_t start, const Envelope& envelope) {
  for (uint32_t i = 0; i < MAX_ENVELOPE_POINTS; i++) {
    w.put16(start + 4 * i, envelope.points[i].frame);
    w.put8(start + 4 * i + 2, envelope.points[i].value);
  }
  w.put8(start + 48, envelope.point_count);
  w.put8(start + 49, envelope.sustain_point);
  w.put8(start + 50, envelope.loop_start);
  w.put8(start + 51, envelope.loop_end);
}

bool song_fits(const ModuleContext& song, const PreparedLayout& layout) {
  if (uint32_t(layout.pattern_stride) * PREPARED_UNIT < PREPARED_PATTERN_FIELDS ||
      uint32_t(layout.cell_stride) * PREPARED_UNIT < PREPARED_CELL_FIELDS ||
      uint32_t(layout.instrument_stride) * PREPARED_UNIT < PREPARED_INSTRUMENT_FIELDS ||
      uint32_t(layout.sample_stride) * PREPARED_UNIT < PREPARED_SAMPLE_FIELDS) {
    return false;
  }
  for (uint32_t p = 0; p < song.pattern_count; p++) {
    if (song.patterns[p].first_row > PREPARED_MAX_FIRST_ROW) return false;
  }
  return true;
}

}  // namespace

bool write_prepared_image(const ModuleContext& song, const PreparedLayout& layout,
                          std::vector<uint8_t>& image) {
  image.clear();
  if (!song_fits(song, layout)) return false;

  const uint64_t table_units =
      (PREPARED_PANNING_OFFSET + song.channel_count + PREPARED_UNIT - 1) / PREPARED_UNIT;
  const uint64_t pattern_stride = layout.pattern_stride * PREPARED_UNIT;
  const uint64_t cell_stride = layout.cell_stride * PREPARED_UNIT;
  const uint64_t instrument_stride = layout.instrument_stride * PREPARED_UNIT;
  const uint64_t sample_stride = layout.sample_stride * PREPARED_UNIT;
  const uint64_t cell_count = uint64_t(song.row_count) * song.channel_count;

  const uint64_t patterns = table_units * PREPARED_UNIT;
  const uint64_t cells = patterns + song.pattern_count * pattern_stride;
  const uint64_t instruments = cells + cell_count * cell_stride;
  const uint64_t samples = instruments + song.instrument_count * instrument_stride;
  const uint64_t sample_data = samples + song.sample_count * sample_stride;
  const uint64_t orders = sample_data + uint64_t(song.sample_data_length) * 4;
  const uint64_t end = orders + uint64_t(song.song_length) * 2;

  image.assign(end, layout.filler);
  ImageWriter w{image};
  w.put8(0, uint8_t(table_units));
  w.put8(1, 0);
  std::memcpy(image.data() + PREPARED_MAGIC_OFFSET, PREPARED_MAGIC, 8);
  w.put16(10, song.song_length);
  w.put32(12, song.row_count);
  w.put32(16, song.sample_data_length);
  w.put16(20, song.pattern_count);
  w.put16(22, song.sample_count);
  w.put8(24, song.instrument_count);
  w.put8(25, song.channel_count);
  w.put8(26, song.restart_position);
  w.put8(27, song.default_tempo);
  w.put8(28, song.default_bpm);
  w.put8(29, song.default_global_volume);
  w.put16(30, uint16_t((song.amiga_frequencies & 1) | (song.fast_volume_slides & 1) << 1));
  w.put8(32, layout.pattern_stride);
  w.put8(33, layout.cell_stride);
  w.put8(34, layout.instrument_stride);
  w.put8(35, layout.sample_stride);
  for (uint32_t c = 0; c < song.channel_count; c++) {
    w.put8(PREPARED_PANNING_OFFSET + c, song.channel_panning[c]);
  }

  for (uint32_t p = 0; p < song.pattern_count; p++) {
    w.put16(patterns + p * pattern_stride, uint16_t(song.patterns[p].first_row));
    w.put16(patterns + p * pattern_stride + 2, song.patterns[p].row_count);
  }
  for (uint64_t i = 0; i < cell_count; i++) {
    const PatternCell& cell = song.cells[i];
    const uint64_t record = cells + i * cell_stride;
    w.put8(record, cell.note);
    w.put8(record + 1, cell.instrument);
    w.put8(record + 2, cell.volume_column);
    w.put8(record + 3, cell.effect);
    w.put8(record + 4, cell.param);
  }
  for (uint32_t i = 0; i < song.instrument_count; i++) {
    const Instrument& instrument = song.instruments[i];
    const uint64_t record = instruments + i * instrument_stride;
    put_envelope(w, record, instrument.volume_envelope);
    put_envelope(w, record + PREPARED_ENVELOPE_SIZE, instrument.panning_envelope);
    w.put16(record + 104, instrument.fadeout);
    w.put8(record + 106, instrument.vibrato_waveform);
    w.put8(record + 107, instrument.vibrato_sweep);
    w.put8(record + 108, instrument.vibrato_depth);
    w.put8(record + 109, instrument.vibrato_rate);
    for (uint32_t n = 0; n < 96; n++) {
      w.put16(record + PREPARED_SAMPLE_MAP_OFFSET + 2 * n, instrument.sample_of_note[n]);
    }
  }
  for (uint32_t s = 0; s < song.sample_count; s++) {
    const Sample& sample = song.samples[s];
    const uint64_t record = samples + s * sample_stride;
    w.put32(record, sample.data_offset);
    w.put32(record + 4, sample.length);
    w.put32(record + 8, sample.loop_length);
    // The unread bits of these two bytes carry the filler as well.
    w.put8(record + 12, uint8_t((layout.filler & 0xFE) | sample.ping_pong));
    w.put8(record + 13, uint8_t((layout.filler & 0x80) | sample.volume));
    w.put8(record + 14, sample.panning);
    w.put8(record + 15, uint8_t(sample.finetune));
    w.put8(record + 16, uint8_t(sample.relative_note));
  }
  for (uint32_t f = 0; f < song.sample_data_length; f++) {
    // Exact: every 16-bit frame divided by 32768 is a float.
    const float value = float(song.sample_data[f]) / 32768.0f;
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    w.put32(sample_data + 4 * uint64_t(f), bits);
  }
  // Each order entry's high byte is not read and keeps the filler.
  for (uint32_t i = 0; i < song.song_length; i++) w.put8(orders + 2 * i, song.order_table[i]);
  return true;
}
