// The limits the readers and the prescan enforce on any module, and the
// fixed sizes of the song model.
#pragma once

#include <cstdint>

constexpr uint32_t MAX_XM_CHANNELS = 255;
constexpr uint32_t MAX_XM_PATTERNS = 256;
constexpr uint32_t MAX_XM_ROWS_PER_PATTERN = 256;
constexpr uint32_t MAX_XM_INSTRUMENTS = 255;
constexpr uint32_t MAX_MOD_SONG_LENGTH = 128;
constexpr uint32_t MAX_MOD_INSTRUMENTS = 31;
constexpr uint32_t MAX_S3M_CHANNELS = 16;
constexpr uint32_t MAX_S3M_PATTERNS = 256;
constexpr uint32_t MAX_S3M_INSTRUMENTS = 255;
constexpr uint32_t MOD_S3M_ROWS_PER_PATTERN = 64;
constexpr uint32_t MAX_SONG_LENGTH = 256;
constexpr uint32_t MAX_SAMPLES = 65535;
constexpr uint32_t MAX_SAMPLE_FRAMES = 0xFFFFF;
constexpr uint32_t MAX_PING_PONG_SAMPLE_FRAMES = 0x7FFFF;  // XM ping-pong samples
constexpr uint32_t ROW_COUNT_LIMIT = 1u << 24;              // rows in all stay below this
constexpr uint32_t MAX_CONTEXT_SIZE = 0x8000000;            // bytes of the whole block
constexpr uint32_t EMPTY_PATTERN_ROWS = 64;
constexpr uint16_t NO_SAMPLE = 0xFFFF;                      // sample_of_note: note plays nothing
constexpr uint8_t NO_SUSTAIN = 128;
constexpr uint8_t MAX_ENVELOPE_POINTS = 12;
constexpr uint16_t OUTPUT_RATE = 48000;
