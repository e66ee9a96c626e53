// The prepared module image: a song already in the internal model, stored
// as flat little-endian tables whose record strides (in units of 8 bytes)
// are given in the header.  Loading copies the tables; nothing is converted.
// The image is untrusted, so the prescan checks everything the replayer
// relies on before the block is sized, and the load only copies.
#pragma once

#include "module_context.h"

#include <cstdint>

// Header offsets and the fixed layout of the records, shared with the writer.
constexpr uint32_t PREPARED_UNIT = 8;  // strides and the table offset count 8-byte units
constexpr uint32_t PREPARED_MAGIC_OFFSET = 2;
constexpr char PREPARED_MAGIC[] = "QERVAIF\xFF";
constexpr uint32_t PREPARED_PANNING_OFFSET = 64;
constexpr uint32_t PREPARED_PATTERN_FIELDS = 4;
constexpr uint32_t PREPARED_CELL_FIELDS = 5;
constexpr uint32_t PREPARED_ENVELOPE_SIZE = 52;
constexpr uint32_t PREPARED_SAMPLE_MAP_OFFSET = 112;
constexpr uint32_t PREPARED_INSTRUMENT_FIELDS = PREPARED_SAMPLE_MAP_OFFSET + 96 * 2;
constexpr uint32_t PREPARED_SAMPLE_FIELDS = 17;
constexpr uint32_t PREPARED_MAX_FIRST_ROW = 0xFFFF;  // first_row is stored in 16 bits

// Fills the prescan from the header after checking the whole image: the
// magic's byte 1, the row count, at most 257 patterns, strides wide enough
// for their fields, every table within the image, patterns of 1 to 256 rows
// within the song's rows, order entries naming patterns, samples within the
// pool and their frame limits, sample maps naming samples, well-formed
// envelopes, a BPM above 0 and volumes (global, sample, envelope points) up
// to 64.  False rejects the image.
bool prepared_prescan(const uint8_t* module, uint32_t length, ModulePrescan& prescan);

// Copies the checked image into the zeroed block.  The running counters end
// at the values the prescan measured.
void prepared_load(ModuleContext& context, const uint8_t* module, uint32_t length);

// One stored float as a 16-bit frame: truncated towards 0 after scaling by
// 32768, 1.0 and above giving 32767, below -1.0 giving -32768, NaN giving 0.
int16_t prepared_frame(float value);
