// The 2D primitives every scene uses: pixel-space and perspective
// projections, a textured rectangle cut from a texture, a plain rectangle and
// one glyph of a bitmap font.  Pixel coordinates have the origin top-left.
#pragma once

#include <cstdint>

struct Texture;
struct BitmapFont;

// Width and height last given to set_ortho or set_perspective.
extern int32_t viewport_width;
extern int32_t viewport_height;

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
