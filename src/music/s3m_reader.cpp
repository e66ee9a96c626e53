// The S3M reader.  Every byte is read through module_byte, so parapointers
// past the end and truncated data read as zeros.  The prescan and the load
// share the header, order and sample helpers below, which keeps the load
// within what was measured.
#include "s3m_reader.h"

#include "effect_codes.h"
#include "module_bytes.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr uint64_t S3M_ORDERS = 96;
constexpr uint64_t S3M_CHANNEL_SETTINGS = 64;
constexpr uint32_t S3M_CHANNEL_POSITIONS = 32;
constexpr uint8_t S3M_ORDER_SKIP = 254;
constexpr uint8_t S3M_ORDER_END = 255;
constexpr uint8_t S3M_NOTE_CUT = 254;
constexpr uint8_t S3M_NO_NOTE = 255;
constexpr uint8_t NOT_PLAYED = 0xFF;

struct S3mHeader {
  uint32_t order_count;
  uint32_t instrument_count;
  uint32_t pattern_count;  // in the file
  uint64_t instrument_pointers;
  uint64_t pattern_pointers;
  uint64_t panning_table;
  bool has_panning_table;
  bool signed_data;
};

S3mHeader read_header(const ModuleBytes& module) {
  S3mHeader header;
  header.order_count = module_u16_le(module, 32);
  header.instrument_count = module_u16_le(module, 34);
  header.pattern_count = module_u16_le(module, 36);
  header.instrument_pointers = S3M_ORDERS + header.order_count;
  header.pattern_pointers = header.instrument_pointers + 2 * uint64_t(header.instrument_count);
  header.panning_table = header.pattern_pointers + 2 * uint64_t(header.pattern_count);
  header.has_panning_table = module_byte(module, 53) == 0xFC;
  header.signed_data = module_u16_le(module, 42) == 1;
  return header;
}

// Parapointers count 16-byte paragraphs.  0 stands for "none" (an empty
// pattern or sample), never for the file's own header.
uint64_t parapointer_at(const ModuleBytes& module, uint64_t table, uint32_t index) {
  return 16 * uint64_t(module_u16_le(module, table + 2 * uint64_t(index)));
}

// The played orders: the file's list without 254 entries, up to the first
// 255.  `used` counts them even past 256, so that the prescan can reject.
struct S3mOrders {
  uint32_t used;
  uint8_t table[MAX_SONG_LENGTH];
  // Song position of each file order index, for position jumps.
  uint16_t position_of_entry[MAX_SONG_LENGTH];
};

void read_orders(const ModuleBytes& module, const S3mHeader& header, S3mOrders& orders) {
  orders.used = 0;
  for (uint32_t i = 0; i < header.order_count; i++) {
    const uint8_t entry = module_byte(module, S3M_ORDERS + i);
    if (i < MAX_SONG_LENGTH) orders.position_of_entry[i] = uint16_t(orders.used);
    if (entry == S3M_ORDER_END) {
      for (uint32_t j = i; j < MAX_SONG_LENGTH; j++) orders.position_of_entry[j] = uint16_t(orders.used);
      return;
    }
    if (entry == S3M_ORDER_SKIP) continue;
    if (orders.used < MAX_SONG_LENGTH) orders.table[orders.used] = entry;
    orders.used++;
  }
  for (uint32_t j = std::min<uint32_t>(header.order_count, MAX_SONG_LENGTH); j < MAX_SONG_LENGTH; j++) {
    orders.position_of_entry[j] = uint16_t(orders.used);
  }
}

// A song of no positions is read as one (pattern 0, or the added empty
// pattern), so that the replayer always has a position to play.
uint16_t song_length_of(const S3mOrders& orders) {
  return uint16_t(std::max<uint32_t>(orders.used, 1));
}

bool orders_name_missing_pattern(const S3mOrders& orders, uint32_t pattern_count) {
  // Over-long lists are rejected later; only the table's entries exist.
  const uint32_t length = std::min<uint32_t>(song_length_of(orders), MAX_SONG_LENGTH);
  for (uint32_t i = 0; i < length; i++) {
    const uint8_t entry = i < orders.used ? orders.table[i] : 0;
    if (entry >= pattern_count) return true;
  }
  return false;
}

struct S3mChannels {
  uint8_t channel_of_position[S3M_CHANNEL_POSITIONS];  // NOT_PLAYED for settings 16+
  uint8_t setting_of_channel[MAX_S3M_CHANNELS];
  uint8_t first_position_of_channel[MAX_S3M_CHANNELS];
  uint32_t count;
};

S3mChannels read_channels(const ModuleBytes& module) {
  S3mChannels channels{};
  uint8_t channel_of_setting[MAX_S3M_CHANNELS];
  std::fill(std::begin(channel_of_setting), std::end(channel_of_setting), NOT_PLAYED);
  for (uint32_t position = 0; position < S3M_CHANNEL_POSITIONS; position++) {
    const uint8_t setting = module_byte(module, S3M_CHANNEL_SETTINGS + position);
    if (setting >= MAX_S3M_CHANNELS) {
      channels.channel_of_position[position] = NOT_PLAYED;
      continue;
    }
    if (channel_of_setting[setting] == NOT_PLAYED) {
      channel_of_setting[setting] = uint8_t(channels.count);
      channels.setting_of_channel[channels.count] = setting;
      channels.first_position_of_channel[channels.count] = uint8_t(position);
      channels.count++;
    }
    channels.channel_of_position[position] = channel_of_setting[setting];
  }
  return channels;
}

bool is_right_setting(uint8_t setting) { return setting >= 8; }

struct S3mSampleHeader {
  bool pcm;
  uint64_t data;
  uint32_t length;       // frames played
  uint32_t loop_length;
  uint8_t volume;
  bool sixteen_bit;
  uint32_t c2_rate;
};

S3mSampleHeader read_sample_header(const ModuleBytes& module, uint64_t at) {
  S3mSampleHeader header{};
  header.pcm = at != 0 && module_byte(module, at) == 1;
  if (!header.pcm) return header;
  const uint32_t paragraph = uint32_t(module_byte(module, at + 13)) << 16 | module_u16_le(module, at + 14);
  header.data = 16 * uint64_t(paragraph);
  const uint32_t length = module_u32_le(module, at + 16);
  const uint32_t loop_start = module_u32_le(module, at + 20);
  const uint32_t loop_end = module_u32_le(module, at + 24);
  const uint8_t flags = module_byte(module, at + 31);
  header.volume = std::min<uint8_t>(module_byte(module, at + 28), 64);
  header.sixteen_bit = (flags & 4) != 0;
  header.c2_rate = module_u32_le(module, at + 32);
  uint32_t played = length;
  uint32_t loop_length = 0;
  if (flags & 1) {
    played = loop_end <= length ? loop_end : loop_start <= length ? loop_start : length;
    loop_length = std::min(played, loop_end - loop_start);
  }
  header.length = header.sixteen_bit ? played / 2 : played;
  header.loop_length = header.sixteen_bit ? loop_length / 2 : loop_length;
  return header;
}

struct S3mCounts {
  S3mHeader header;
  S3mOrders orders;
  S3mChannels channels;
  bool adds_pattern;
};

void read_counts(const ModuleBytes& module, S3mCounts& counts) {
  counts.header = read_header(module);
  read_orders(module, counts.header, counts.orders);
  counts.channels = read_channels(module);
  counts.adds_pattern = orders_name_missing_pattern(counts.orders, counts.header.pattern_count);
}

// Unused commands keep feeding the shared parameter memory.
void param_only(PatternCell& cell) {
  cell.effect = cell.param ? PARAM_ONLY : 0;
}

void convert_s_command(PatternCell& cell, uint8_t remembered, uint8_t setting) {
  if (cell.param == 0) cell.param = remembered;
  if (cell.param == 0) {
    cell.effect = 0;
    return;
  }
  const uint8_t x = cell.param >> 4;
  const uint8_t y = cell.param & 0x0F;
  switch (x) {
    case 0x1:
      // The low nibble switches glissando on or off, as in the XM conversion.
      cell.effect = GLISSANDO_CONTROL;
      cell.param = y;
      return;
    case 0x2:
      cell.effect = SET_FINETUNE;
      cell.param = y;
      return;
    case 0x3:
      cell.effect = VIBRATO_WAVEFORM;
      cell.param = y & 3;
      return;
    case 0x4:
      cell.effect = TREMOLO_WAVEFORM;
      cell.param = y & 3;
      return;
    case 0x8:
      cell.effect = SET_CHANNEL_PANNING;
      cell.param = uint8_t(y * 17);
      return;
    case 0xA:
      if (y > 7) {
        cell.effect = PARAM_ONLY;
        return;
      }
      // Stereo control: 0 and 2 keep the channel on its own side, 1 and 3
      // swap it, 4..7 centre it.
      cell.effect = SET_CHANNEL_PANNING;
      if (y >= 4) {
        cell.param = 128;
      } else if ((y & 1) == 0) {
        cell.param = is_right_setting(setting) ? 255 : 0;
      } else {
        cell.param = is_right_setting(setting) ? 0 : 255;
      }
      return;
    case 0xB:
      cell.effect = PATTERN_LOOP;  // moved into free cells once the pattern is read
      cell.param = y;
      return;
    case 0xC:
      cell.effect = NOTE_CUT;
      cell.param = y;
      return;
    case 0xD:
      cell.effect = NOTE_DELAY;
      cell.param = y;
      return;
    case 0xE:
      cell.effect = PATTERN_DELAY;
      cell.param = y;
      return;
    default:  // S0, S5, S6, S7, S9, SF
      cell.effect = PARAM_ONLY;
  }
}

void convert_command(PatternCell& cell, uint8_t command, uint8_t remembered, uint8_t setting,
                     const S3mOrders& orders) {
  cell.effect = 0;
  switch (command) {
    case 'A' - '@':
      cell.effect = cell.param ? SET_TEMPO : 0;
      break;
    case 'B' - '@':
      cell.effect = POSITION_JUMP;
      // The target counts file order entries, 254 ones included; the song's
      // order table has those taken out.
      cell.param = uint8_t(std::min<uint32_t>(orders.position_of_entry[cell.param], 255));
      break;
    case 'C' - '@': cell.effect = PATTERN_BREAK; break;
    case 'D' - '@': cell.effect = S3M_VOLUME_SLIDE; break;
    case 'E' - '@': cell.effect = S3M_PORTA_DOWN; break;
    case 'F' - '@': cell.effect = S3M_PORTA_UP; break;
    case 'G' - '@': cell.effect = TONE_PORTA; break;
    case 'H' - '@': cell.effect = VIBRATO; break;
    case 'I' - '@': cell.effect = S3M_TREMOR; break;
    case 'J' - '@': cell.effect = S3M_ARPEGGIO; break;
    case 'K' - '@': cell.effect = S3M_VIBRATO_VOLUME_SLIDE; break;
    case 'L' - '@': cell.effect = S3M_TONE_PORTA_VOLUME_SLIDE; break;
    case 'O' - '@': cell.effect = SAMPLE_OFFSET; break;
    case 'Q' - '@':
      cell.effect = S3M_RETRIG;
      if ((cell.param >> 4) == 0) cell.param |= 0x80;
      break;
    case 'R' - '@': cell.effect = S3M_TREMOLO; break;
    case 'S' - '@': convert_s_command(cell, remembered, setting); break;
    case 'T' - '@':
      if (cell.param > 32) {
        cell.effect = SET_BPM;
      } else {
        param_only(cell);
      }
      break;
    case 'U' - '@': cell.effect = FINE_VIBRATO; break;
    case 'V' - '@': cell.effect = cell.param <= 64 ? SET_GLOBAL_VOLUME : PARAM_ONLY; break;
    case 'X' - '@':
      if (cell.param <= 128) {
        cell.effect = SET_CHANNEL_PANNING;
        cell.param = cell.param == 128 ? 255 : uint8_t(cell.param * 2);
      } else {
        cell.effect = PARAM_ONLY;
      }
      break;
    case 'M' - '@':
    case 'N' - '@':
    case 'P' - '@':
    case 'W' - '@':
    case 'Y' - '@':
    case 'Z' - '@':
      param_only(cell);
      break;
    default:  // no such command
      cell.param = 0;
  }
  if (cell.effect == 0) cell.param = 0;
}

uint8_t convert_note(uint8_t stored, uint8_t instrument) {
  if (stored == S3M_NOTE_CUT) return NOTE_KEY_OFF;
  if (stored == S3M_NO_NOTE) return instrument ? NOTE_SWITCH_SAMPLE : NOTE_NONE;
  const uint32_t note = (stored & 0x0F) + (stored >> 4) * 12u + 1;
  // Octaves past the eighth do not exist; such a byte is no note at all.
  return note <= NOTE_LAST ? uint8_t(note) : NOTE_NONE;
}

void read_pattern(const ModuleBytes& module, uint64_t start, const S3mCounts& counts,
                  PatternCell* cells) {
  if (start == 0) return;
  const uint64_t end = start + module_u16_le(module, start);
  const uint32_t channel_count = counts.channels.count;
  uint8_t remembered[S3M_CHANNEL_POSITIONS] = {};
  uint64_t at = start + 2;
  uint32_t row = 0;
  while (row < MOD_S3M_ROWS_PER_PATTERN && at < end) {
    const uint8_t entry = module_byte_before(module, at++, end);
    if (entry == 0) {
      row++;
      continue;
    }
    uint8_t note = 0, instrument = 0, volume = 0, command = 0, param = 0;
    if (entry & 0x20) {
      note = module_byte_before(module, at++, end);
      instrument = module_byte_before(module, at++, end);
    }
    if (entry & 0x40) volume = module_byte_before(module, at++, end);
    if (entry & 0x80) {
      command = module_byte_before(module, at++, end);
      param = module_byte_before(module, at++, end);
    }
    const uint32_t position = entry & 0x1F;
    const uint8_t channel = counts.channels.channel_of_position[position];
    if (channel == NOT_PLAYED) continue;
    PatternCell& cell = cells[row * channel_count + channel];
    if (entry & 0x20) {
      cell.note = convert_note(note, instrument);
      cell.instrument = instrument;
    }
    // Volumes above 64 are stored by some trackers; they play as 64.
    if (entry & 0x40) cell.volume_column = uint8_t(std::min<uint8_t>(volume, 64) + 0x10);
    if (entry & 0x80) {
      cell.param = param;
      convert_command(cell, command, remembered[position],
                      counts.channels.setting_of_channel[channel], counts.orders);
      if (param) remembered[position] = param;
    }
  }
}

bool cell_is_free(const PatternCell& cell) { return cell.effect == 0 && cell.param == 0; }

// S3M pattern loops belong to the whole pattern, the song model's to one
// channel: each loop is moved into a channel that is free on both its rows.
void move_loop_markers(PatternCell* cells, uint32_t channel_count) {
  struct Loop {
    uint8_t start, end, count;
  };
  Loop loops[MOD_S3M_ROWS_PER_PATTERN];
  uint32_t loop_count = 0;
  uint8_t start = 0;
  for (uint32_t row = 0; row < MOD_S3M_ROWS_PER_PATTERN; row++) {
    int32_t marker = -1;
    for (uint32_t c = 0; c < channel_count; c++) {
      PatternCell& cell = cells[row * channel_count + c];
      if (cell.effect != PATTERN_LOOP) continue;
      marker = cell.param;
      cell.effect = 0;
      cell.param = 0;
    }
    if (marker == 0) {
      start = uint8_t(row);
    } else if (marker > 0) {
      loops[loop_count++] = Loop{start, uint8_t(row), uint8_t(marker)};
      start = uint8_t(row + 1);
    }
  }
  for (uint32_t i = 0; i < loop_count; i++) {
    const Loop& loop = loops[i];
    PatternCell* start_row = cells + loop.start * channel_count;
    PatternCell* end_row = cells + loop.end * channel_count;
    for (uint32_t c = 0; c < channel_count; c++) {
      if (loop.start == loop.end) {
        if (!cell_is_free(start_row[c])) continue;
        start_row[c].effect = PATTERN_LOOP_HERE;
        start_row[c].param = loop.count;
        break;
      }
      if (!cell_is_free(start_row[c]) || !cell_is_free(end_row[c])) continue;
      start_row[c].effect = PATTERN_LOOP;
      start_row[c].param = 0;
      end_row[c].effect = PATTERN_LOOP;
      end_row[c].param = loop.count;
      break;
    }
  }
}

void read_sample_data(const ModuleBytes& module, const S3mSampleHeader& header, bool signed_data,
                      int16_t* frames) {
  if (header.sixteen_bit) {
    const uint16_t bias = signed_data ? 0 : 0x8000;
    for (uint32_t f = 0; f < header.length; f++) {
      frames[f] = int16_t(uint16_t(module_u16_le(module, header.data + 2 * uint64_t(f)) + bias));
    }
  } else {
    const uint8_t bias = signed_data ? 0 : 128;
    for (uint32_t f = 0; f < header.length; f++) {
      frames[f] = int16_t(int8_t(uint8_t(module_byte(module, header.data + f) + bias)) * 256);
    }
  }
}

}  // namespace

S3mTuning s3m_tuning(uint32_t c2_rate) {
  if (c2_rate == 0) return {0, 0};
  const float r = std::log2f(float(c2_rate) * 0.00011957432f) * 192.0f;
  // Rates beyond about 5 Hz .. 13 MHz would wrap the relative note; they
  // are kept at its ends instead.
  const int32_t steps = std::clamp(int32_t(r), -2048, 2047);
  return {int8_t(steps & 15), int8_t(steps >> 4)};
}

bool s3m_prescan(const uint8_t* data, uint32_t length, ModulePrescan& prescan) {
  const ModuleBytes module{data, length};
  S3mCounts counts;
  read_counts(module, counts);
  const S3mHeader& header = counts.header;
  if (counts.orders.used > MAX_SONG_LENGTH || header.instrument_count > MAX_S3M_INSTRUMENTS ||
      header.pattern_count > MAX_S3M_PATTERNS) {
    return false;
  }
  uint64_t frames = 0;
  for (uint32_t i = 0; i < header.instrument_count; i++) {
    const S3mSampleHeader sample =
        read_sample_header(module, parapointer_at(module, header.instrument_pointers, i));
    if (sample.length > MAX_SAMPLE_FRAMES) return false;
    frames += sample.length;
  }
  const uint32_t patterns = header.pattern_count + (counts.adds_pattern ? 1 : 0);
  prescan.format = MODULE_FORMAT_S3M;
  prescan.row_count = patterns * MOD_S3M_ROWS_PER_PATTERN;
  prescan.sample_data_length = uint32_t(frames);  // 255 samples below 2^20 frames each
  prescan.pattern_count = uint16_t(patterns);
  prescan.sample_count = uint16_t(header.instrument_count);
  prescan.song_length = song_length_of(counts.orders);
  prescan.channel_count = uint8_t(counts.channels.count);
  prescan.instrument_count = uint8_t(header.instrument_count);
  return true;
}

void s3m_load(ModuleContext& context, const uint8_t* data, uint32_t length) {
  const ModuleBytes module{data, length};
  S3mCounts counts;
  read_counts(module, counts);
  const S3mHeader& header = counts.header;
  const S3mChannels& channels = counts.channels;

  context.amiga_frequencies = 1;
  context.fast_volume_slides = (module_byte(module, 38) & 0x40) || module_u16_le(module, 40) == 0x1300;
  context.default_global_volume = std::min<uint8_t>(module_byte(module, 48), 64);
  const uint8_t speed = module_byte(module, 49);
  context.default_tempo = speed == 0 || speed == 255 ? 6 : speed;
  const uint8_t tempo = module_byte(module, 50);
  context.default_bpm = tempo <= 32 ? 125 : tempo;
  context.channel_count = uint8_t(channels.count);
  context.instrument_count = uint8_t(header.instrument_count);

  const bool stereo = (module_byte(module, 51) & 0x80) != 0;
  for (uint32_t c = 0; c < channels.count; c++) {
    const uint8_t side = is_right_setting(channels.setting_of_channel[c]) ? 204 : 51;
    // The panning table has one byte per channel position, like the settings.
    const uint8_t table = header.has_panning_table
                              ? module_byte(module, header.panning_table + channels.first_position_of_channel[c])
                              : 0;
    if (!stereo) {
      context.channel_panning[c] = 128;
    } else if (table & 0x20) {
      context.channel_panning[c] = uint8_t((table & 0x0F) * 17);
    } else {
      context.channel_panning[c] = side;
    }
  }

  context.song_length = song_length_of(counts.orders);
  for (uint32_t i = 0; i < counts.orders.used; i++) context.order_table[i] = counts.orders.table[i];
  if (counts.adds_pattern) {
    for (uint32_t i = 0; i < context.song_length; i++) {
      if (context.order_table[i] >= header.pattern_count) context.order_table[i] = uint8_t(header.pattern_count);
    }
  }

  for (uint32_t i = 0; i < header.instrument_count; i++) {
    Instrument& instrument = context.instruments[i];
    std::fill(std::begin(instrument.sample_of_note), std::end(instrument.sample_of_note), uint16_t(i));
    const S3mSampleHeader sample_header =
        read_sample_header(module, parapointer_at(module, header.instrument_pointers, i));
    Sample& sample = context.samples[context.sample_count++];
    sample.panning = 128;
    if (!sample_header.pcm) continue;
    sample.data_offset = context.sample_data_length;
    sample.length = sample_header.length;
    sample.loop_length = sample_header.loop_length;
    sample.volume = sample_header.volume & 0x7F;
    const S3mTuning tuning = s3m_tuning(sample_header.c2_rate);
    sample.finetune = tuning.finetune;
    sample.relative_note = tuning.relative_note;
    read_sample_data(module, sample_header, header.signed_data,
                     context.sample_data + context.sample_data_length);
    context.sample_data_length += sample_header.length;
  }

  const uint32_t patterns = header.pattern_count + (counts.adds_pattern ? 1 : 0);
  for (uint32_t p = 0; p < patterns; p++) {
    PatternInfo& info = context.patterns[context.pattern_count++];
    info.first_row = context.row_count;
    info.row_count = MOD_S3M_ROWS_PER_PATTERN;
    PatternCell* cells = context.cells + uint64_t(context.row_count) * channels.count;
    if (p < header.pattern_count) {
      read_pattern(module, parapointer_at(module, header.pattern_pointers, p), counts, cells);
      move_loop_markers(cells, channels.count);
    }
    context.row_count += MOD_S3M_ROWS_PER_PATTERN;
  }
}
