// The XM reader.  Every byte is read through module_byte, so a truncated or
// lying module reads as zeros and never leaves the image.  The prescan and
// the load walk the file with the same helpers below, which is what keeps the
// load within the room the prescan measured.
#include "xm_reader.h"

#include "effect_codes.h"
#include "module_bytes.h"
#include "xm_effects.h"

#include <algorithm>

namespace {

constexpr uint64_t XM_HEADER_SIZE_OFFSET = 60;
constexpr uint64_t XM_ORDER_TABLE_OFFSET = 80;
constexpr uint64_t XM_SAMPLE_HEADER_SIZE = 40;

struct XmCounts {
  uint16_t song_length;
  uint16_t channel_count;
  uint16_t pattern_count;
  uint16_t instrument_count;
};

XmCounts read_counts(const ModuleBytes& module) {
  XmCounts counts;
  // A song of no positions is read as one, so that restart_position and
  // every order entry within the song always name a pattern that exists.
  counts.song_length =
      uint16_t(std::clamp<uint32_t>(module_u16_le(module, 64), 1, MAX_SONG_LENGTH));
  counts.channel_count = module_u16_le(module, 68);
  counts.pattern_count = module_u16_le(module, 70);
  counts.instrument_count = module_u16_le(module, 72);
  return counts;
}

bool order_table_names_missing_pattern(const ModuleBytes& module, const XmCounts& counts) {
  for (uint32_t i = 0; i < counts.song_length; i++) {
    if (module_byte(module, XM_ORDER_TABLE_OFFSET + i) >= counts.pattern_count) return true;
  }
  return false;
}

struct XmPatternLayout {
  uint64_t data_start;
  uint64_t data_end;  // the next pattern starts here
  uint32_t rows;
  bool empty;         // packed size 0: 64 empty rows
};

XmPatternLayout read_pattern_layout(const ModuleBytes& module, uint64_t start) {
  const uint32_t header_length = module_u32_le(module, start);
  const uint32_t stored_rows = module_u16_le(module, start + 5);
  const uint16_t packed_size = module_u16_le(module, start + 7);
  XmPatternLayout layout;
  layout.data_start = start + header_length;
  layout.data_end = layout.data_start + packed_size;
  layout.empty = packed_size == 0;
  // A pattern of no rows would let the replayer read past the cell array, so
  // it is read as 64 rows like the other empty patterns.
  layout.rows = layout.empty || stored_rows == 0 ? EMPTY_PATTERN_ROWS : stored_rows;
  return layout;
}

struct XmInstrumentLayout {
  uint64_t start;
  uint64_t header_end;     // fields at or past the declared size read as 0
  uint32_t sample_count;   // low byte of the stored count
};

XmInstrumentLayout read_instrument_layout(const ModuleBytes& module, uint64_t start) {
  XmInstrumentLayout layout;
  layout.start = start;
  layout.header_end = start + module_u32_le(module, start);
  layout.sample_count = module_byte_before(module, start + 27, layout.header_end);
  return layout;
}

uint64_t first_sample_header(const XmInstrumentLayout& instrument) {
  return instrument.header_end;
}

uint64_t first_sample_data(const XmInstrumentLayout& instrument) {
  return instrument.header_end + XM_SAMPLE_HEADER_SIZE * instrument.sample_count;
}

struct XmSampleHeader {
  uint32_t stored_bytes;  // bytes of data in the file, whatever is played
  uint32_t length;        // frames played
  uint32_t loop_length;   // frames
  uint8_t volume;
  int8_t finetune;
  uint8_t panning;
  int8_t relative_note;
  bool ping_pong;
  bool sixteen_bit;
};

XmSampleHeader read_sample_header(const ModuleBytes& module, uint64_t at) {
  const uint32_t stored_length = module_u32_le(module, at);
  const uint32_t loop_start = std::min(module_u32_le(module, at + 4), stored_length);
  uint32_t loop_length = module_u32_le(module, at + 8);
  const uint8_t type = module_byte(module, at + 14);
  // 64-bit sum: a stored loop length near 2^32 must not wrap into range.
  if (uint64_t(loop_start) + loop_length > stored_length) loop_length = 0;
  uint32_t played = stored_length;
  if (type & 3) {
    played = loop_start + loop_length;
  } else {
    loop_length = 0;
  }
  XmSampleHeader header;
  header.stored_bytes = stored_length;
  header.sixteen_bit = (type & 0x10) != 0;
  header.ping_pong = (type & 2) != 0;
  header.length = header.sixteen_bit ? played / 2 : played;
  header.loop_length = header.sixteen_bit ? loop_length / 2 : loop_length;
  header.volume = std::min<uint8_t>(module_byte(module, at + 12), 64);
  header.finetune = int8_t(int8_t(module_byte(module, at + 13)) >> 3);  // rounds down
  header.panning = module_byte(module, at + 15);
  header.relative_note = int8_t(module_byte(module, at + 16));
  return header;
}

// Where an envelope's fields lie in the instrument header.
struct XmEnvelopeOffsets {
  uint64_t points, point_count, sustain_point, loop_start, loop_end, type;
};
constexpr XmEnvelopeOffsets XM_VOLUME_ENVELOPE{129, 225, 227, 228, 229, 233};
constexpr XmEnvelopeOffsets XM_PANNING_ENVELOPE{177, 226, 230, 231, 232, 234};

void read_envelope(const ModuleBytes& module, const XmInstrumentLayout& instrument,
                   const XmEnvelopeOffsets& offsets, Envelope& envelope) {
  const uint64_t start = instrument.start;
  const uint64_t end = instrument.header_end;
  for (uint32_t i = 0; i < MAX_ENVELOPE_POINTS; i++) {
    const uint64_t point = start + offsets.points + 4 * i;
    envelope.points[i].frame = module_u16_le_before(module, point, end);
    envelope.points[i].value =
        uint8_t(std::min<uint16_t>(module_u16_le_before(module, point + 2, end), 64));
  }
  envelope.point_count = module_byte_before(module, start + offsets.point_count, end);
  envelope.sustain_point = module_byte_before(module, start + offsets.sustain_point, end);
  envelope.loop_start = module_byte_before(module, start + offsets.loop_start, end);
  envelope.loop_end = module_byte_before(module, start + offsets.loop_end, end);
  finalise_envelope(envelope, module_byte_before(module, start + offsets.type, end));
}

uint8_t internal_vibrato_waveform(uint8_t xm_type) {
  switch (xm_type) {
    case 0: return WAVEFORM_SINE;
    case 1: return WAVEFORM_SQUARE;
    case 2: return WAVEFORM_RAMP_DOWN;
    default: return WAVEFORM_RAMP_UP;
  }
}

void unpack_pattern(const ModuleBytes& module, const XmPatternLayout& layout,
                    uint32_t channel_count, PatternCell* cells) {
  const uint32_t cell_count = layout.rows * channel_count;
  uint64_t at = layout.data_start;
  for (uint32_t k = 0; k < cell_count && at < layout.data_end; k++) {
    uint8_t fields[5] = {};
    const uint8_t first = module_byte_before(module, at++, layout.data_end);
    if (first & 0x80) {
      for (uint32_t f = 0; f < 5; f++) {
        if (first & (1u << f)) fields[f] = module_byte_before(module, at++, layout.data_end);
      }
    } else {
      fields[0] = first;
      for (uint32_t f = 1; f < 5; f++) fields[f] = module_byte_before(module, at++, layout.data_end);
    }
    cells[k] = PatternCell{fields[0], fields[1], fields[2], fields[3], fields[4]};
  }
  for (uint32_t k = 0; k < cell_count; k++) convert_xm_cell(cells[k]);
}

void decode_sample_data(const ModuleBytes& module, uint64_t at, const XmSampleHeader& header,
                        int16_t* frames) {
  if (header.sixteen_bit) {
    uint16_t sum = 0;
    for (uint32_t f = 0; f < header.length; f++) {
      sum = uint16_t(sum + module_u16_le(module, at + 2 * uint64_t(f)));
      frames[f] = int16_t(sum);
    }
  } else {
    uint8_t sum = 0;
    for (uint32_t f = 0; f < header.length; f++) {
      sum = uint8_t(sum + module_byte(module, at + f));
      frames[f] = int16_t(int8_t(sum) * 256);
    }
  }
}

}  // namespace

bool xm_prescan(const uint8_t* data, uint32_t length, ModulePrescan& prescan) {
  const ModuleBytes module{data, length};
  const XmCounts counts = read_counts(module);
  if (counts.channel_count > MAX_XM_CHANNELS || counts.pattern_count > MAX_XM_PATTERNS ||
      counts.instrument_count > MAX_XM_INSTRUMENTS) {
    return false;
  }

  uint64_t at = XM_HEADER_SIZE_OFFSET + module_u32_le(module, XM_HEADER_SIZE_OFFSET);
  uint32_t rows = 0;
  for (uint32_t p = 0; p < counts.pattern_count; p++) {
    const XmPatternLayout pattern = read_pattern_layout(module, at);
    if (pattern.rows > MAX_XM_ROWS_PER_PATTERN) return false;
    rows += pattern.rows;
    at = pattern.data_end;
  }
  uint32_t patterns = counts.pattern_count;
  if (order_table_names_missing_pattern(module, counts)) {
    patterns++;
    rows += EMPTY_PATTERN_ROWS;
  }

  uint64_t samples = 0;
  uint64_t frames = 0;
  for (uint32_t i = 0; i < counts.instrument_count; i++) {
    const XmInstrumentLayout instrument = read_instrument_layout(module, at);
    at = first_sample_data(instrument);
    for (uint32_t s = 0; s < instrument.sample_count; s++) {
      const XmSampleHeader header =
          read_sample_header(module, first_sample_header(instrument) + XM_SAMPLE_HEADER_SIZE * s);
      const uint32_t limit = header.ping_pong ? MAX_PING_PONG_SAMPLE_FRAMES : MAX_SAMPLE_FRAMES;
      if (header.length > limit) return false;
      frames += header.length;
      at += header.stored_bytes;
    }
    samples += instrument.sample_count;
    if (samples > MAX_SAMPLES) return false;
  }
  // Far below what the block cap allows already; this only keeps the count
  // representable.
  if (frames > UINT32_MAX) return false;

  prescan.format = MODULE_FORMAT_XM;
  prescan.row_count = rows;  // at most 257 * 256 rows, well inside 24 bits
  prescan.sample_data_length = uint32_t(frames);
  prescan.pattern_count = uint16_t(patterns);
  prescan.sample_count = uint16_t(samples);
  prescan.song_length = counts.song_length;
  prescan.channel_count = uint8_t(counts.channel_count);
  prescan.instrument_count = uint8_t(counts.instrument_count);
  return true;
}

void xm_load(ModuleContext& context, const uint8_t* data, uint32_t length) {
  const ModuleBytes module{data, length};
  const XmCounts counts = read_counts(module);
  context.song_length = counts.song_length;
  const uint16_t restart = module_u16_le(module, 66);
  context.restart_position = restart < counts.song_length ? uint8_t(restart) : 0;
  context.channel_count = uint8_t(counts.channel_count);
  context.instrument_count = uint8_t(counts.instrument_count);
  context.amiga_frequencies = (module_u16_le(module, 74) & 1) ? 0 : 1;
  const uint16_t tempo = module_u16_le(module, 76);
  context.default_tempo = tempo >= 32 ? 31 : uint8_t(tempo);
  const uint16_t bpm = module_u16_le(module, 78);
  // The replayer divides by the BPM; a stored 0 takes the trackers' default.
  context.default_bpm = bpm == 0 ? 125 : bpm >= 256 ? 255 : uint8_t(bpm);
  for (uint32_t i = 0; i < 256; i++) {
    context.order_table[i] = module_byte(module, XM_ORDER_TABLE_OFFSET + i);
  }
  context.default_global_volume = 64;
  for (uint32_t c = 0; c < context.channel_count; c++) context.channel_panning[c] = 128;

  uint64_t at = XM_HEADER_SIZE_OFFSET + module_u32_le(module, XM_HEADER_SIZE_OFFSET);
  for (uint32_t p = 0; p < counts.pattern_count; p++) {
    const XmPatternLayout pattern = read_pattern_layout(module, at);
    PatternInfo& info = context.patterns[context.pattern_count++];
    info.first_row = context.row_count;
    info.row_count = uint16_t(pattern.rows);
    if (!pattern.empty) {
      unpack_pattern(module, pattern, context.channel_count,
                     context.cells + uint64_t(context.row_count) * context.channel_count);
    }
    context.row_count += pattern.rows;
    at = pattern.data_end;
  }

  if (order_table_names_missing_pattern(module, counts)) {
    for (uint32_t i = 0; i < context.song_length; i++) {
      if (context.order_table[i] >= counts.pattern_count) {
        context.order_table[i] = uint8_t(counts.pattern_count);
      }
    }
    PatternInfo& added = context.patterns[context.pattern_count++];
    added.first_row = context.row_count;
    added.row_count = EMPTY_PATTERN_ROWS;
    context.row_count += EMPTY_PATTERN_ROWS;
  }

  for (uint32_t i = 0; i < counts.instrument_count; i++) {
    const XmInstrumentLayout layout = read_instrument_layout(module, at);
    Instrument& instrument = context.instruments[i];
    const uint32_t first_sample = context.sample_count;
    for (uint32_t k = 0; k < 96; k++) {
      const uint8_t m = module_byte_before(module, layout.start + 33 + k, layout.header_end);
      instrument.sample_of_note[k] = m < layout.sample_count ? uint16_t(first_sample + m) : NO_SAMPLE;
    }
    if (layout.sample_count != 0) {
      read_envelope(module, layout, XM_VOLUME_ENVELOPE, instrument.volume_envelope);
      read_envelope(module, layout, XM_PANNING_ENVELOPE, instrument.panning_envelope);
      const uint64_t end = layout.header_end;
      instrument.vibrato_waveform =
          internal_vibrato_waveform(module_byte_before(module, layout.start + 235, end));
      instrument.vibrato_sweep = module_byte_before(module, layout.start + 236, end);
      instrument.vibrato_depth = module_byte_before(module, layout.start + 237, end);
      instrument.vibrato_rate = module_byte_before(module, layout.start + 238, end);
      instrument.fadeout = module_u16_le_before(module, layout.start + 239, end);
    }
    context.sample_count = uint16_t(context.sample_count + layout.sample_count);

    at = first_sample_data(layout);
    for (uint32_t s = 0; s < layout.sample_count; s++) {
      const XmSampleHeader header =
          read_sample_header(module, first_sample_header(layout) + XM_SAMPLE_HEADER_SIZE * s);
      Sample& sample = context.samples[first_sample + s];
      sample.data_offset = context.sample_data_length;
      sample.length = header.length;
      sample.loop_length = header.loop_length;
      sample.ping_pong = header.ping_pong;
      sample.volume = header.volume & 0x7F;
      sample.panning = header.panning;
      sample.finetune = header.finetune;
      sample.relative_note = header.relative_note;
      decode_sample_data(module, at, header, context.sample_data + context.sample_data_length);
      context.sample_data_length += header.length;
      at += header.stored_bytes;
    }
  }
}

void finalise_envelope(Envelope& envelope, uint8_t type) {
  envelope.point_count = std::min(envelope.point_count, MAX_ENVELOPE_POINTS);
  bool usable = (type & 1) && envelope.point_count >= 2;
  for (uint32_t i = 1; usable && i < envelope.point_count; i++) {
    usable = envelope.points[i].frame > envelope.points[i - 1].frame;
  }
  if (!usable) envelope = Envelope{};
  if (envelope.loop_start >= envelope.point_count) {
    envelope.loop_start = 0;
    envelope.loop_end = 0;
  }
  if (envelope.loop_end >= envelope.point_count || envelope.loop_end <= envelope.loop_start ||
      !(type & 4)) {
    envelope.loop_start = 0;
    envelope.loop_end = 0;
  }
  if (envelope.sustain_point >= envelope.point_count || !(type & 2)) {
    envelope.sustain_point = NO_SUSTAIN;
  }
}
