// The 2D primitives every scene uses: pixel-space and perspective
// projections, a textured rectangle cut from a texture, a plain rectangle,
// one glyph of a bitmap font, and batches of glyphs or rectangles drawn with
// one call.  Pixel coordinates have the origin top-left.
#pragma once

#include <cstdint>
#include <vector>

struct Texture;
struct BitmapFont;

void set_ortho(int32_t width, int32_t height);
void set_perspective(int32_t width, int32_t height, float z_near, float z_far);

// Texture coordinates of the four screen corners (bottom-left, bottom-right,
// top-right, top-left) of a source rectangle measured from the picture's top.
struct QuadTexCoords {
  float st[8];
};
QuadTexCoords source_tex_coords(const Texture& texture, int32_t src_x0, int32_t src_y0,
                                int32_t src_y1, int32_t src_x1);

// Blending is switched on only when both factors are non-zero.
void draw_textured_rect(const Texture* texture, int32_t src_x0, int32_t src_y0, int32_t src_y1,
                        int32_t src_x1, int32_t dst_width, float x, float y, int32_t dst_height,
                        int32_t blend_src, int32_t blend_dst);
void draw_rect(int32_t width, int32_t height, float y);
void draw_glyph(const BitmapFont* font, uint8_t code, int32_t scale, float x, float y);

// Rectangles gathered to be drawn with one call, in the order they were
// added, with the corners, texture coordinates and state that drawing them
// one by one would use: a software renderer pays for every call.
struct RectBatch {
  std::vector<float> xy;      // six corners a rectangle, two triangles
  std::vector<float> st;      // for glyphs
  std::vector<float> colour;  // for plain rectangles, RGB a corner
};
void clear_batch(RectBatch& batch);
// As draw_glyph would place it.
void add_glyph(RectBatch& batch, const BitmapFont* font, uint8_t code, int32_t scale, float x, float y);
// As draw_rect would place it, in the given colour.
void add_rect(RectBatch& batch, int32_t width, int32_t height, float y, float red, float green, float blue);
// Draws added glyphs in the current colour, with the font's blending, as draw_glyph does.
void draw_glyph_batch(const RectBatch& batch, const BitmapFont* font);
// Draws added rectangles, each in its own colour, untextured and unblended.
void draw_rect_batch(const RectBatch& batch);
