// Checks of the three pictures the boot console and the text screens draw
// with: that each embedded file decodes as the loader decodes it, at the size
// the glyph maths expect, and holds glyphs in the cells the code-page layout
// promises.
#include <embedded_assets.h>
#include <stb_image.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>

namespace {

struct EmbeddedPicture {
  const char* name;
  const unsigned char* data;
  int32_t size;
  int32_t expected_size;
  int32_t width;
  int32_t height;
  int bits_per_pixel;
  uint32_t colours_used;
};

const EmbeddedPicture pictures[] = {
    {"boot_logo", asset_boot_logo_bmp, asset_boot_logo_bmp_size, 12866, 160, 160, 4, 3},
    {"console_font", asset_console_font_bmp, asset_console_font_bmp_size, 4158, 256, 128, 1, 2},
    {"screen_font", asset_screen_font_bmp, asset_screen_font_bmp_size, 4158, 256, 128, 1, 2},
    {"grass", asset_grass_bmp, asset_grass_bmp_size, 262454, 512, 512, 8, 64},
    {"streetroad", asset_streetroad_bmp, asset_streetroad_bmp_size, 524598, 1024, 512, 8, 64},
};

uint32_t read_le(const EmbeddedPicture& picture, int32_t offset, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) {
    // Past the end reads as 0, so a short file fails the field checks rather than the test.
    value = value << 8 | (offset + i < picture.size ? picture.data[offset + i] : 0);
  }
  return value;
}

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
  bool operator<(const Rgb& other) const {
    return (r << 16 | g << 8 | b) < (other.r << 16 | other.g << 8 | other.b);
  }
};

Rgb palette_entry(const EmbeddedPicture& picture, int index) {
  const int32_t at = 54 + 4 * index;  // entries are blue, green, red, reserved
  return {uint8_t(read_le(picture, at + 2, 1)), uint8_t(read_le(picture, at + 1, 1)),
          uint8_t(read_le(picture, at, 1))};
}

// A picture decoded as the texture loader decodes it (RGB), but with the
// rows top-down so that y counts from the top as the sheet layout does.
struct Decoded {
  std::unique_ptr<unsigned char, void (*)(void*)> pixels{nullptr, stbi_image_free};
  int width = 0, height = 0, channels = 0;

  Rgb at(int x, int y) const {
    const unsigned char* p = pixels.get() + 3 * (y * width + x);
    return {p[0], p[1], p[2]};
  }
};

Decoded decode(const EmbeddedPicture& picture) {
  Decoded decoded;
  decoded.pixels.reset(stbi_load_from_memory(picture.data, picture.size, &decoded.width,
                                             &decoded.height, &decoded.channels, 3));
  return decoded;
}

// The decoded picture for the content checks, or no pixels when its size is
// not the designed one, so that no check reads outside the pixel block.
Decoded decode_for_content(const EmbeddedPicture& picture) {
  Decoded decoded = decode(picture);
  if (decoded.width != picture.width || decoded.height != picture.height) decoded.pixels.reset();
  return decoded;
}

const EmbeddedPicture& logo = pictures[0];
const EmbeddedPicture& console_font = pictures[1];
const EmbeddedPicture& screen_font = pictures[2];
constexpr Rgb black{0, 0, 0};
constexpr Rgb white{255, 255, 255};

// White pixels of a glyph cell within cell rows [first_row, end_row).
int ink(const Decoded& sheet, int code, int first_row = 0, int end_row = 16) {
  const int left = 8 * (code % 32), top = 16 * (code / 32);
  int count = 0;
  for (int y = top + first_row; y < top + end_row; ++y)
    for (int x = left; x < left + 8; ++x) count += sheet.at(x, y) == white;
  return count;
}

// Each file is the size and depth it was made at (the glyph maths and the
// palette checks rely on them) and decodes as the texture loader asks.
TEST(Pictures, DecodeAtTheirDesignedSizeAndDepth) {
  for (const EmbeddedPicture& picture : pictures) {
    SCOPED_TRACE(picture.name);
    EXPECT_EQ(picture.size, picture.expected_size);
    EXPECT_EQ(read_le(picture, 28, 2), uint32_t(picture.bits_per_pixel));
    EXPECT_EQ(read_le(picture, 46, 4), picture.colours_used);
    const Decoded decoded = decode(picture);
    ASSERT_NE(decoded.pixels, nullptr) << stbi_failure_reason();
    EXPECT_EQ(decoded.width, picture.width);
    EXPECT_EQ(decoded.height, picture.height);
    EXPECT_EQ(decoded.channels, 3);
  }
}

TEST(Pictures, PalettesHoldTheDesignedColours) {
  EXPECT_EQ(palette_entry(console_font, 0), black);
  EXPECT_EQ(palette_entry(console_font, 1), white);
  EXPECT_EQ(palette_entry(screen_font, 0), black);
  EXPECT_EQ(palette_entry(screen_font, 1), white);

  const Rgb ground = palette_entry(logo, 0);
  EXPECT_GT(ground.b, 2 * ground.r);
  EXPECT_GT(ground.b, 2 * ground.g);
  EXPECT_LE(ground.b, 160) << "the ground must be a dark blue";
  const std::set<Rgb> distinct{ground, palette_entry(logo, 1), palette_entry(logo, 2)};
  EXPECT_EQ(distinct.size(), 3u);
}

TEST(Pictures, FontSheetsArePureBlackAndWhite) {
  for (const EmbeddedPicture* font : {&console_font, &screen_font}) {
    SCOPED_TRACE(font->name);
    const Decoded sheet = decode_for_content(*font);
    ASSERT_NE(sheet.pixels, nullptr);
    int others = 0;
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 256; ++x) others += !(sheet.at(x, y) == black || sheet.at(x, y) == white);
    EXPECT_EQ(others, 0);
  }
}

TEST(ConsoleFont, HoldsOnlyAsciiAndTheBlockGraphics) {
  const Decoded sheet = decode_for_content(console_font);
  ASSERT_NE(sheet.pixels, nullptr);
  for (int code = 0; code < 256; ++code) {
    SCOPED_TRACE(code);
    const bool filled = (code >= 33 && code <= 126) || (code >= 176 && code <= 223);
    if (filled) {
      EXPECT_GT(ink(sheet, code), 0);
    } else {
      EXPECT_EQ(ink(sheet, code), 0);
    }
  }
}

TEST(ConsoleFont, BannerBlocksFillExactCellParts) {
  const Decoded sheet = decode_for_content(console_font);
  ASSERT_NE(sheet.pixels, nullptr);
  // 0xDB, the full block, where the glyph maths samples it: column 27, row 6.
  int lit = 0;
  for (int y = 96; y < 112; ++y)
    for (int x = 216; x < 224; ++x) lit += sheet.at(x, y) == white;
  EXPECT_EQ(lit, 128);
  EXPECT_EQ(ink(sheet, 223, 0, 8), 64) << "upper half block, top half";
  EXPECT_EQ(ink(sheet, 223, 8, 16), 0) << "upper half block, bottom half";
  EXPECT_EQ(ink(sheet, 220, 0, 8), 0) << "lower half block, top half";
  EXPECT_EQ(ink(sheet, 220, 8, 16), 64) << "lower half block, bottom half";
  // Rows top-down: the underscore sits low in its cell, the caret high.
  EXPECT_EQ(ink(sheet, '_', 0, 8), 0);
  EXPECT_EQ(ink(sheet, '^', 8, 16), 0);
}

TEST(ScreenFont, HoldsAsciiAndLatinButNoBoxDrawing) {
  const Decoded sheet = decode_for_content(screen_font);
  ASSERT_NE(sheet.pixels, nullptr);
  // Code page 850's shades, box-drawing parts, blocks and the black square.
  std::set<int> box_and_blocks{176, 177, 178, 179, 180, 185, 186, 187, 188, 191, 192, 193,
                               194, 195, 196, 197, 200, 201, 202, 203, 204, 205, 206, 217,
                               218, 219, 220, 223, 254};
  for (int code = 0; code < 256; ++code) {
    SCOPED_TRACE(code);
    const bool ascii = code >= 33 && code <= 126;
    // 255 is the no-break space: in the layout, but blank like the space.
    const bool latin = code >= 128 && code <= 254 && !box_and_blocks.count(code);
    if (ascii || latin) {
      EXPECT_GT(ink(sheet, code), 0);
    } else {
      EXPECT_EQ(ink(sheet, code), 0);
    }
  }
}

TEST(ScreenFont, AccentedLettersAreTheirOwnGlyphs) {
  const Decoded sheet = decode_for_content(screen_font);
  ASSERT_NE(sheet.pixels, nullptr);
  auto same_cell = [&](int a, int b) {
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 8; ++x)
        if (!(sheet.at(8 * (a % 32) + x, 16 * (a / 32) + y) ==
              sheet.at(8 * (b % 32) + x, 16 * (b / 32) + y)))
          return false;
    return true;
  };
  EXPECT_FALSE(same_cell(130, 'e')) << "é";
  EXPECT_FALSE(same_cell(144, 'E')) << "É";
  EXPECT_FALSE(same_cell(130, 144));
  // The accents add ink above the plain letter.
  EXPECT_GT(ink(sheet, 130), ink(sheet, 'e'));
  EXPECT_GT(ink(sheet, 144), ink(sheet, 'E'));
}

TEST(BootLogo, UsesAllThreeColoursOnItsGround) {
  const Decoded decoded = decode_for_content(logo);
  ASSERT_NE(decoded.pixels, nullptr);
  const Rgb colours[3] = {palette_entry(logo, 0), palette_entry(logo, 1), palette_entry(logo, 2)};
  int counts[3] = {0, 0, 0};
  int strays = 0, lettering = 0;
  for (int y = 0; y < 160; ++y) {
    for (int x = 0; x < 160; ++x) {
      int index = 0;
      while (index < 3 && !(decoded.at(x, y) == colours[index])) ++index;
      if (index == 3) {
        ++strays;
        continue;
      }
      ++counts[index];
      if (y >= 112 && index != 0) ++lettering;
    }
  }
  EXPECT_EQ(strays, 0);
  EXPECT_GT(counts[0], 160 * 160 / 2) << "mostly ground";
  EXPECT_GT(counts[1], 160 * 160 / 20);
  EXPECT_GT(counts[2], 160 * 160 / 50);
  EXPECT_GT(lettering, 500) << "the word under the submarine";
  for (int i = 0; i < 160; ++i) {
    // A clear ground border all round.
    EXPECT_EQ(decoded.at(i, 0), colours[0]);
    EXPECT_EQ(decoded.at(i, 159), colours[0]);
    EXPECT_EQ(decoded.at(0, i), colours[0]);
    EXPECT_EQ(decoded.at(159, i), colours[0]);
  }
}

}  // namespace
