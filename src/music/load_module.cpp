// Load-time preparation.  One allocation holds the whole song and all
// playback state; it is sized from the reader's measurement, filled, cleaned
// and only then published, so the audio thread never sees a partial song.
#include "load_module.h"

#include "effect_codes.h"
#include "mod_reader.h"
#include "module_bytes.h"
#include "prepared_reader.h"
#include "s3m_reader.h"
#include "xm_reader.h"
#include "published_song.h"

#include <cstdlib>
#include <cstring>

std::atomic<ModuleContext*> published_song{nullptr};

namespace {

bool bytes_are(const ModuleBytes& module, uint64_t offset, const char* text, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) {
    if (module_byte(module, offset + i) != uint8_t(text[i])) return false;
  }
  return true;
}

bool measure_module(ModuleFormat format, const uint8_t* module, uint32_t length,
                    ModulePrescan& prescan) {
  switch (format) {
    case MODULE_FORMAT_XM:
      return xm_prescan(module, length, prescan);
    case MODULE_FORMAT_PREPARED:
      return prepared_prescan(module, length, prescan);
    case MODULE_FORMAT_S3M:
      return s3m_prescan(module, length, prescan);
    case MODULE_FORMAT_MOD:
    case MODULE_FORMAT_MOD_FLT8:
      return mod_prescan(module, length, prescan);
  }
  return false;
}

void fill_module(const ModulePrescan& prescan, ModuleContext& context, const uint8_t* module,
                 uint32_t length) {
  switch (prescan.format) {
    case MODULE_FORMAT_XM:
      xm_load(context, module, length);
      break;
    case MODULE_FORMAT_PREPARED:
      prepared_load(context, module, length);
      break;
    case MODULE_FORMAT_MOD:
    case MODULE_FORMAT_MOD_FLT8:
      mod_load(context, module, length);  // pairs FLT8 patterns itself
      break;
    case MODULE_FORMAT_S3M:
      s3m_load(context, module, length);
      break;
  }
}

// Adds a region of `count` records to `total`, then rounds up to 8 so that
// every region starts aligned; false on a 32-bit overflow.
bool add_region(uint32_t& total, uint32_t count, uint32_t record_size) {
  uint32_t bytes;
  if (__builtin_mul_overflow(count, record_size, &bytes)) return false;
  if (__builtin_add_overflow(total, bytes, &total)) return false;
  if (__builtin_add_overflow(total, 7u, &total)) return false;
  total &= ~7u;
  return true;
}

bool counters_match_prescan(const ModuleContext& context, const ModulePrescan& prescan) {
  return context.row_count == prescan.row_count &&
         context.sample_data_length == prescan.sample_data_length &&
         context.pattern_count == prescan.pattern_count &&
         context.sample_count == prescan.sample_count &&
         context.song_length == prescan.song_length &&
         context.channel_count == prescan.channel_count &&
         context.instrument_count == prescan.instrument_count;
}

}  // namespace

ModuleFormat detect_module_format(const uint8_t* data, uint32_t length) {
  const ModuleBytes module{data, length};
  if (bytes_are(module, 2, "QERVAIF\xFF", 8)) return MODULE_FORMAT_PREPARED;
  if (bytes_are(module, 0, "Extended Module: ", 17) && module_byte(module, 37) == 0x1A &&
      module_byte(module, 58) == 4 && module_byte(module, 59) == 1) {
    return MODULE_FORMAT_XM;
  }
  if (module_byte(module, 29) == 0x10 && module_byte(module, 30) == 0 &&
      module_byte(module, 31) == 0 && bytes_are(module, 44, "SCRM", 4)) {
    return MODULE_FORMAT_S3M;
  }
  return MODULE_FORMAT_MOD;
}

bool plan_module_block(const ModulePrescan& prescan, ModuleBlockLayout& layout) {
  uint32_t total = 0;
  uint32_t cell_count;
  if (!add_region(total, 1, sizeof(ModuleContext))) return false;
  layout.channels = total;
  if (!add_region(total, prescan.channel_count, sizeof(ChannelState))) return false;
  layout.instruments = total;
  if (!add_region(total, prescan.instrument_count, sizeof(Instrument))) return false;
  layout.samples = total;
  if (!add_region(total, prescan.sample_count, sizeof(Sample))) return false;
  layout.patterns = total;
  if (!add_region(total, prescan.pattern_count, sizeof(PatternInfo))) return false;
  layout.sample_data = total;
  if (!add_region(total, prescan.sample_data_length, sizeof(int16_t))) return false;
  layout.cells = total;
  if (__builtin_mul_overflow(uint32_t(prescan.row_count), uint32_t(prescan.channel_count),
                             &cell_count)) {
    return false;
  }
  if (!add_region(total, cell_count, sizeof(PatternCell))) return false;
  if (total > MAX_CONTEXT_SIZE) return false;
  layout.size = total;
  return true;
}

void clean_up_cells(ModuleContext& context) {
  const uint64_t cell_count = uint64_t(context.row_count) * context.channel_count;
  for (uint64_t i = 0; i < cell_count; i++) {
    PatternCell& cell = context.cells[i];
    const uint8_t effect = cell.effect;
    if (effect == POSITION_JUMP && cell.param >= context.song_length) {
      cell.param = 0;
    } else if ((effect == SET_VOLUME || effect == SET_GLOBAL_VOLUME) && cell.param > 64) {
      cell.param = 64;
    } else if (effect == NOTE_CUT && cell.param == 0) {
      cell.effect = SET_VOLUME;
    } else if (effect == NOTE_DELAY && cell.param == 0) {
      cell.effect = 0;
    } else if (effect == RETRIGGER && cell.param == 0) {
      if (cell.note == NOTE_NONE) cell.note = NOTE_RETRIGGER;
      cell.effect = 0;
    } else if ((effect == SET_TEMPO || effect == SET_BPM) && cell.param == 0) {
      // A speed of 0 means "stop"; the song never stops, it restarts.
      cell.effect = POSITION_JUMP;
      cell.param = context.restart_position;
    }
    if (cell.volume_column == 0xA0) cell.volume_column = 0;
  }
}

void set_start_state(ModuleContext& context) {
  for (uint32_t c = 0; c < context.channel_count; c++) {
    context.channels[c] = ChannelState{};
    context.channels[c].default_panning = context.channel_panning[c];
  }
  context.tick_remainder = 0;
  context.output_rate = OUTPUT_RATE;
  context.order_position = 0;
  context.tick = 0;
  context.row = 0;
  context.published_position = pack_song_position(0, 0);
  context.row_repeat = 0;
  context.pattern_delay = 0;
  context.global_volume = context.default_global_volume;
  context.tempo = context.default_tempo;
  context.bpm = context.default_bpm;
  context.break_pending = 0;
  context.jump_pending = 0;
  context.jump_order = 0;
  context.next_row = 0;
}

ModuleContext* allocate_module_block(const ModuleBlockLayout& layout) {
  uint8_t* block = static_cast<uint8_t*>(std::calloc(1, layout.size));
  if (!block) return nullptr;
  ModuleContext* context = reinterpret_cast<ModuleContext*>(block);
  context->patterns = reinterpret_cast<PatternInfo*>(block + layout.patterns);
  context->cells = reinterpret_cast<PatternCell*>(block + layout.cells);
  context->instruments = reinterpret_cast<Instrument*>(block + layout.instruments);
  context->samples = reinterpret_cast<Sample*>(block + layout.samples);
  context->sample_data = reinterpret_cast<int16_t*>(block + layout.sample_data);
  context->channels = reinterpret_cast<ChannelState*>(block + layout.channels);
  return context;
}

ModuleContext* prepare_module(const uint8_t* module, uint32_t length) {
  ModulePrescan prescan{};
  if (!measure_module(detect_module_format(module, length), module, length, prescan)) {
    return nullptr;
  }
  ModuleBlockLayout layout;
  if (!plan_module_block(prescan, layout)) return nullptr;
  prescan.context_size = layout.size;

  ModuleContext* context = allocate_module_block(layout);
  if (!context) return nullptr;

  fill_module(prescan, *context, module, length);
  // The reader wrote where its running counters pointed; had they passed the
  // measured counts, the block would already be overrun.  That is our fault,
  // never the input's, so stop rather than play a corrupted song.
  if (!counters_match_prescan(*context, prescan)) std::abort();

  clean_up_cells(*context);
  set_start_state(*context);
  return context;
}

ModuleContext* load_module(const uint8_t* module, uint32_t length) {
  ModuleContext* context = prepare_module(module, length);
  if (context) published_song.store(context, std::memory_order_release);
  return context;
}
