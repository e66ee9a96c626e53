// Format detection: the first signature that matches decides, and a module
// whose matched format fails its checks is rejected without trying the next.
#include "music_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<uint8_t> valid_xm() {
  XmModule module;
  module.patterns.push_back(pattern_with(4, 2, {}));
  return write_xm(module);
}

void put(std::vector<uint8_t>& image, size_t offset, const char* text, size_t count) {
  if (image.size() < offset + count) image.resize(offset + count);
  std::memcpy(image.data() + offset, text, count);
}

TEST(ModuleDetection, SignaturesInTheirOrder) {
  const std::vector<uint8_t> xm = valid_xm();
  EXPECT_EQ(detect_module_format(xm.data(), uint32_t(xm.size())), MODULE_FORMAT_XM);

  std::vector<uint8_t> prepared(64, 0);
  put(prepared, 2, "QERVAIF\xFF", 8);
  EXPECT_EQ(detect_module_format(prepared.data(), uint32_t(prepared.size())), MODULE_FORMAT_PREPARED);

  std::vector<uint8_t> s3m(96, 0);
  s3m[29] = 0x10;
  put(s3m, 44, "SCRM", 4);
  EXPECT_EQ(detect_module_format(s3m.data(), uint32_t(s3m.size())), MODULE_FORMAT_S3M);
  s3m[30] = 1;  // one byte off the S3M signature: no longer S3M
  EXPECT_NE(detect_module_format(s3m.data(), uint32_t(s3m.size())), MODULE_FORMAT_S3M);

  // An S3M signature inside an XM image does not outrank the XM signature.
  std::vector<uint8_t> both = xm;
  both[29] = 0x10;
  both[30] = both[31] = 0;
  put(both, 44, "SCRM", 4);
  EXPECT_EQ(detect_module_format(both.data(), uint32_t(both.size())), MODULE_FORMAT_XM);
}

TEST(ModuleDetection, MatchThatFailsItsChecksRejects) {
  // The prepared-image magic with byte 1 not 0.
  std::vector<uint8_t> prepared(4096, 0);
  put(prepared, 2, "QERVAIF\xFF", 8);
  prepared[1] = 1;
  EXPECT_EQ(prepare(prepared), nullptr);

  // XM signature but another version: not an XM, and nothing else matches.
  std::vector<uint8_t> old_xm = valid_xm();
  ASSERT_NE(prepare(old_xm), nullptr);
  old_xm[58] = 3;
  EXPECT_NE(detect_module_format(old_xm.data(), uint32_t(old_xm.size())), MODULE_FORMAT_XM);
  EXPECT_EQ(prepare(old_xm), nullptr);

  // XM whose channel count is over its limit is rejected, not read as another format.
  std::vector<uint8_t> wide = valid_xm();
  wide[68] = 0;
  wide[69] = 1;  // 256 channels
  EXPECT_EQ(detect_module_format(wide.data(), uint32_t(wide.size())), MODULE_FORMAT_XM);
  EXPECT_EQ(prepare(wide), nullptr);
}

}  // namespace
