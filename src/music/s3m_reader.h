// The S3M reader.  Two passes with the same rules, like the other readers:
// s3m_prescan measures, s3m_load fills the zeroed block.  S3M commands map
// onto the song model's codes, with the S3M codes where XM has no match.
#pragma once

#include "module_context.h"

// Fills the S3M part of the prescan.  False rejects the module: more than
// 255 instruments, more than 256 patterns or orders, a sample of 0x100000
// frames or more.
bool s3m_prescan(const uint8_t* module, uint32_t length, ModulePrescan& prescan);

// Fills a zeroed block whose region pointers are set; running counters end
// with the values the prescan measured.
void s3m_load(ModuleContext& context, const uint8_t* module, uint32_t length);

// Finetune (0..15) and relative note for a sample's C2 rate.
struct S3mTuning {
  int8_t finetune;
  int8_t relative_note;
};
S3mTuning s3m_tuning(uint32_t c2_rate);
