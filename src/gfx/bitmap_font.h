// Bitmap fonts: a 256 x 128 sheet of 8 x 16 cells, 32 to a row, character
// code c in cell column c mod 32 and cell row c div 32 from the top.
#pragma once

#include <cstdint>

struct Texture;

struct BitmapFont {
  int32_t cell_width;   // sheet pixels
  int32_t cell_height;  // sheet pixels
  int32_t blend_src;    // GL blend factors for glyphs: additive, so text takes
  int32_t blend_dst;    // the current colour and has no background
  Texture* texture;
};

// A glyph's pixel rectangle on the sheet, measured from the top-left.
struct GlyphCell {
  int32_t x0, y0, x1, y1;
};

inline GlyphCell glyph_cell(const BitmapFont& font, uint8_t code) {
  const int32_t column = code & 31;
  const int32_t row = code >> 5;
  return {font.cell_width * column, font.cell_height * row, font.cell_width * column + font.cell_width,
          font.cell_height * row + font.cell_height};
}
