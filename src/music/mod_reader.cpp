// The MOD reader.  Every byte is read through module_byte, so a truncated
// module reads as zeros.  The prescan and the load share the header and
// sample helpers below, which keeps the load within what was measured.
#include "mod_reader.h"

#include "effect_codes.h"
#include "module_bytes.h"
#include "xm_effects.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr uint64_t MOD_SAMPLE_HEADERS = 20;
constexpr uint64_t MOD_SAMPLE_HEADER_SIZE = 30;
constexpr uint64_t MOD_SONG_LENGTH = 950;
constexpr uint64_t MOD_RESTART_POSITION = 951;
constexpr uint64_t MOD_ORDER_TABLE = 952;
constexpr uint64_t MOD_SIGNATURE = 1080;
constexpr uint64_t MOD_PATTERNS = 1084;
constexpr uint32_t MOD_ORDER_ENTRIES = 128;
constexpr uint32_t MOD_CELL_BYTES = 4;

uint16_t module_u16_be(const ModuleBytes& module, uint64_t offset) {
  return uint16_t(module_byte(module, offset) << 8 | module_byte(module, offset + 1));
}

bool is_digit(uint8_t c, uint8_t lowest) { return c >= '0' + lowest && c <= '9'; }

struct ModSampleHeader {
  uint32_t stored_bytes;  // bytes of data in the file, whatever is played
  uint32_t length;        // frames played
  uint32_t loop_length;
  uint8_t finetune_byte;
  uint8_t volume;
};

ModSampleHeader read_sample_header(const ModuleBytes& module, uint32_t i) {
  const uint64_t at = MOD_SAMPLE_HEADERS + MOD_SAMPLE_HEADER_SIZE * i;
  const uint32_t stored = 2u * module_u16_be(module, at + 22);
  const uint32_t loop_start = 2u * module_u16_be(module, at + 26);
  const uint32_t loop_words = module_u16_be(module, at + 28);
  const uint32_t loop_length = 2u * loop_words;
  ModSampleHeader header;
  header.stored_bytes = stored;
  header.finetune_byte = module_byte(module, at + 24);
  header.volume = std::min<uint8_t>(module_byte(module, at + 25), 64);
  if (loop_words <= 1) {
    header.length = stored;
    header.loop_length = 0;
    return header;
  }
  if (loop_start + loop_length <= stored) {
    header.length = loop_start + loop_length;
  } else if (loop_start <= stored) {
    header.length = loop_start;
  } else {
    header.length = stored;
  }
  header.loop_length = std::min(header.length, loop_length);
  return header;
}

int8_t mod_finetune(uint8_t stored) {
  if (stored > 15) return -16;
  return int8_t(stored <= 7 ? 2 * stored : 2 * stored - 32);
}

// The highest pattern number anywhere in the order table, plus one: the
// number of patterns the file stores.
uint32_t stored_pattern_count(const ModuleBytes& module) {
  uint32_t highest = 0;
  for (uint32_t i = 0; i < MOD_ORDER_ENTRIES; i++) {
    highest = std::max<uint32_t>(highest, module_byte(module, MOD_ORDER_TABLE + i));
  }
  return highest + 1;
}

// Channels named by the 4 bytes at offset 1080, or 0 for an unknown
// signature.  `paired` is set for "FLT8".
uint32_t mod_signature_channels(const uint8_t* data, uint32_t length, bool& paired) {
  const ModuleBytes module{data, length};
  uint8_t s[4];
  for (uint32_t i = 0; i < 4; i++) s[i] = module_byte(module, MOD_SIGNATURE + i);
  paired = false;
  auto is = [&](const char* text) { return std::memcmp(s, text, 4) == 0; };
  if (is("M.K.") || is("M!K!") || is("FLT4")) return 4;
  if (is("CD81") || is("OCTA") || is("OKTA")) return 8;
  if (is("FLT8")) {
    paired = true;
    return 8;
  }
  if (is_digit(s[0], 1) && s[1] == 'C' && s[2] == 'H' && s[3] == 'N') return s[0] - '0';
  if (is_digit(s[0], 1) && is_digit(s[1], 0) && s[2] == 'C' && (s[3] == 'H' || s[3] == 'N')) {
    return 10u * (s[0] - '0') + (s[1] - '0');
  }
  if (s[0] == 'T' && s[1] == 'D' && s[2] == 'Z' && is_digit(s[3], 1)) return s[3] - '0';
  return 0;
}

struct ModCounts {
  uint32_t channels;
  bool paired;
  uint32_t patterns;  // as the song model holds them (FLT8: 8-channel pairs)
  uint16_t song_length;
};

ModCounts read_counts(const ModuleBytes& module) {
  ModCounts counts;
  counts.channels = mod_signature_channels(module.data, module.length, counts.paired);
  const uint32_t stored = stored_pattern_count(module);
  counts.patterns = counts.paired ? (stored + 1) / 2 : stored;
  // A song of no positions is read as one, so that restart_position and the
  // first order entry always name a pattern that exists.
  counts.song_length = uint16_t(std::clamp<uint32_t>(module_byte(module, MOD_SONG_LENGTH), 1,
                                                     MAX_MOD_SONG_LENGTH));
  return counts;
}

void convert_mod_cell(const ModuleBytes& module, uint64_t at, PatternCell& cell) {
  const uint8_t b0 = module_byte(module, at);
  const uint8_t b1 = module_byte(module, at + 1);
  const uint8_t b2 = module_byte(module, at + 2);
  const uint8_t b3 = module_byte(module, at + 3);
  cell = PatternCell{};
  cell.note = mod_period_to_note(uint32_t(b0 & 0x0F) << 8 | b1);
  cell.instrument = uint8_t((b0 & 0xF0) | (b2 >> 4));
  cell.effect = b2 & 0x0F;
  cell.param = b3;
  convert_xm_effect(cell);
  if (cell.instrument && cell.note == NOTE_NONE) cell.note = NOTE_SWITCH_SAMPLE;
  if (cell.param == 0) {
    switch (cell.effect) {
      // Without a parameter these continue with remembered values in XM,
      // but do nothing in MOD.
      case PORTA_UP:
      case PORTA_DOWN:
      case VOLUME_SLIDE:
      case FINE_PORTA_UP:
      case FINE_PORTA_DOWN:
      case FINE_VOLUME_UP:
      case FINE_VOLUME_DOWN:
        cell.effect = 0;
        break;
      case TONE_PORTA_VOLUME_SLIDE:
        cell.effect = TONE_PORTA;
        break;
      case VIBRATO_VOLUME_SLIDE:
        cell.effect = VIBRATO;
        break;
    }
  }
  if (cell.effect == SET_PANNING) {
    cell.effect = SET_CHANNEL_PANNING;
  } else if (cell.effect == SET_FINETUNE) {
    // MOD counts finetune 0..7 up and 8..15 down; the replayer counts 0..15
    // from lowest to highest.
    cell.param ^= 8;
  }
}

// "FLT8" stores each 8-channel pattern as two 4-channel patterns one after
// the other; rebuilds the rows of every pattern as read into 8-channel rows.
void pair_flt8_patterns(ModuleContext& context) {
  constexpr uint32_t half = 4;  // channels of each stored 4-channel pattern
  constexpr uint32_t rows = MOD_S3M_ROWS_PER_PATTERN;
  for (uint32_t p = 0; p < context.pattern_count; p++) {
    PatternCell* cells = context.cells + uint64_t(context.patterns[p].first_row) * 2 * half;
    PatternCell as_read[rows * 2 * half];
    std::memcpy(as_read, cells, sizeof as_read);
    for (uint32_t r = 0; r < rows; r++) {
      std::memcpy(cells + r * 2 * half, as_read + half * r, half * sizeof(PatternCell));
      std::memcpy(cells + r * 2 * half + half, as_read + rows * half + half * r,
                  half * sizeof(PatternCell));
    }
  }
}

}  // namespace

uint8_t mod_period_to_note(uint32_t period) {
  if (period == 0) return NOTE_NONE;
  static constexpr uint32_t thresholds[] = {106, 100, 94, 89, 84, 79, 75, 70, 66, 63, 59};
  int32_t note = 73;
  while (period > 111) {
    period = (period + 1) / 2;
    note -= 12;
  }
  for (uint32_t threshold : thresholds) {
    if (period >= threshold) break;
    note++;
  }
  return uint8_t(note);
}

bool mod_prescan(const uint8_t* data, uint32_t length, ModulePrescan& prescan) {
  const ModuleBytes module{data, length};
  const ModCounts counts = read_counts(module);
  if (counts.channels == 0) return false;
  uint32_t frames = 0;  // 31 samples of at most 131070 frames: no overflow
  for (uint32_t i = 0; i < MAX_MOD_INSTRUMENTS; i++) frames += read_sample_header(module, i).length;
  if (length < MOD_PATTERNS || frames > length - MOD_PATTERNS) return false;

  prescan.format = counts.paired ? MODULE_FORMAT_MOD_FLT8 : MODULE_FORMAT_MOD;
  prescan.row_count = counts.patterns * MOD_S3M_ROWS_PER_PATTERN;
  prescan.sample_data_length = frames;
  prescan.pattern_count = uint16_t(counts.patterns);
  prescan.sample_count = MAX_MOD_INSTRUMENTS;
  prescan.song_length = counts.song_length;
  prescan.channel_count = uint8_t(counts.channels);
  prescan.instrument_count = MAX_MOD_INSTRUMENTS;
  return true;
}

void mod_load(ModuleContext& context, const uint8_t* data, uint32_t length) {
  const ModuleBytes module{data, length};
  const ModCounts counts = read_counts(module);
  context.amiga_frequencies = 1;
  context.default_global_volume = 64;
  context.default_tempo = 6;
  context.default_bpm = 125;
  context.channel_count = uint8_t(counts.channels);
  context.instrument_count = MAX_MOD_INSTRUMENTS;
  context.song_length = counts.song_length;
  const uint8_t restart = module_byte(module, MOD_RESTART_POSITION);
  context.restart_position = restart < counts.song_length ? restart : 0;
  for (uint32_t i = 0; i < MOD_ORDER_ENTRIES; i++) {
    context.order_table[i] = module_byte(module, MOD_ORDER_TABLE + i);
  }
  // Amiga channels alternate left, right, right, left.
  for (uint32_t c = 0; c < counts.channels; c++) {
    context.channel_panning[c] = (c & 1) == ((c >> 1) & 1) ? 1 : 255;
  }

  const uint32_t cells_per_pattern = MOD_S3M_ROWS_PER_PATTERN * counts.channels;
  uint64_t at = MOD_PATTERNS;
  for (uint32_t p = 0; p < counts.patterns; p++) {
    PatternInfo& info = context.patterns[context.pattern_count++];
    info.first_row = context.row_count;
    info.row_count = MOD_S3M_ROWS_PER_PATTERN;
    PatternCell* cells = context.cells + uint64_t(context.row_count) * counts.channels;
    for (uint32_t k = 0; k < cells_per_pattern; k++, at += MOD_CELL_BYTES) {
      convert_mod_cell(module, at, cells[k]);
    }
    context.row_count += MOD_S3M_ROWS_PER_PATTERN;
  }

  for (uint32_t i = 0; i < MAX_MOD_INSTRUMENTS; i++) {
    const ModSampleHeader header = read_sample_header(module, i);
    Instrument& instrument = context.instruments[i];
    std::fill(std::begin(instrument.sample_of_note), std::end(instrument.sample_of_note),
              uint16_t(i));
    Sample& sample = context.samples[context.sample_count++];
    sample.data_offset = context.sample_data_length;
    sample.length = header.length;
    sample.loop_length = header.loop_length;
    sample.volume = header.volume & 0x7F;
    sample.panning = 128;
    sample.finetune = mod_finetune(header.finetune_byte);
    int16_t* frames = context.sample_data + context.sample_data_length;
    for (uint32_t f = 0; f < header.length; f++) {
      frames[f] = int16_t(int8_t(module_byte(module, at + f)) * 256);
    }
    context.sample_data_length += header.length;
    at += header.stored_bytes;
  }

  if (counts.paired) {
    pair_flt8_patterns(context);
    for (uint32_t i = 0; i < MOD_ORDER_ENTRIES; i++) context.order_table[i] /= 2;
  }
}

