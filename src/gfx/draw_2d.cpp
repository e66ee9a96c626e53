// 2D drawing with fixed-function GL and client arrays.  Every rectangle is
// the one unit quad scaled into place, and every call sets the pixel
// projection again, so callers need not restore matrices around text.
#include "draw_2d.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "bitmap_font.h"
#include "texture.h"

namespace {
// Width and height last given to set_ortho or set_perspective.
int32_t viewport_width = 0;
int32_t viewport_height = 0;

const GLfloat unit_quad[8] = {0, 1, 1, 1, 1, 0, 0, 0};
const GLushort quad_indices[6] = {0, 1, 2, 2, 3, 0};
}  // namespace

void set_ortho(int32_t width, int32_t height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width, height, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  viewport_width = width;
  viewport_height = height;
}

void set_perspective(int32_t width, int32_t height, float z_near, float z_far) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(60, static_cast<float>(width) / static_cast<float>(height), z_near, z_far);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  viewport_width = width;
  viewport_height = height;
}

QuadTexCoords source_tex_coords(const Texture& texture, int32_t src_x0, int32_t src_y0,
                                int32_t src_y1, int32_t src_x1) {
  const float w = static_cast<float>(texture.width);
  const float h = static_cast<float>(texture.height);
  // The picture was flipped on load, so its row y sits at t = 1 - y / h.
  const float s0 = static_cast<float>(src_x0) / w;
  const float s1 = static_cast<float>(src_x1) / w;
  const float t_top = 1.0f - static_cast<float>(src_y0) / h;
  const float t_bottom = 1.0f - static_cast<float>(src_y1) / h;
  return {{s0, t_bottom, s1, t_bottom, s1, t_top, s0, t_top}};
}

void draw_textured_rect(const Texture* texture, int32_t src_x0, int32_t src_y0, int32_t src_y1,
                        int32_t src_x1, int32_t dst_width, float x, float y, int32_t dst_height,
                        int32_t blend_src, int32_t blend_dst) {
  if (!texture) return;
  const QuadTexCoords coords = source_tex_coords(*texture, src_x0, src_y0, src_y1, src_x1);
  const bool blend = blend_src != 0 && blend_dst != 0;
  if (blend) {
    glEnable(GL_BLEND);
    glBlendFunc(blend_src, blend_dst);
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture->id);
  glVertexPointer(2, GL_FLOAT, 0, unit_quad);
  glTexCoordPointer(2, GL_FLOAT, 0, coords.st);
  set_ortho(viewport_width, viewport_height);
  glLoadIdentity();
  glTranslatef(x, y, 0);
  glScalef(static_cast<float>(dst_width), static_cast<float>(dst_height), 0);
  glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, quad_indices);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisable(GL_TEXTURE_2D);
  if (blend) glDisable(GL_BLEND);
}

void draw_rect(int32_t width, int32_t height, float y) {
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, unit_quad);
  set_ortho(viewport_width, viewport_height);
  glLoadIdentity();
  glTranslatef(0, y, 0);
  glScalef(static_cast<float>(width), static_cast<float>(height), 0);
  glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, quad_indices);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void draw_glyph(const BitmapFont* font, uint8_t code, int32_t scale, float x, float y) {
  if (!font) return;
  const GlyphCell cell = glyph_cell(*font, code);
  draw_textured_rect(font->texture, cell.x0, cell.y0, cell.y1, cell.x1, scale * font->cell_width, x, y,
                     scale * font->cell_height, font->blend_src, font->blend_dst);
}

void clear_batch(RectBatch& batch) {
  batch.xy.clear();
  batch.st.clear();
  batch.colour.clear();
}

// The unit quad's corners in index order, scaled and moved as the single draws' matrices place them.
static void add_corners(RectBatch& batch, float x, float y, float width, float height) {
  for (const GLushort corner : quad_indices) {
    batch.xy.push_back(x + width * unit_quad[2 * corner]);
    batch.xy.push_back(y + height * unit_quad[2 * corner + 1]);
  }
}

void add_glyph(RectBatch& batch, const BitmapFont* font, uint8_t code, int32_t scale, float x, float y) {
  if (!font || !font->texture) return;
  const GlyphCell cell = glyph_cell(*font, code);
  const QuadTexCoords coords = source_tex_coords(*font->texture, cell.x0, cell.y0, cell.y1, cell.x1);
  add_corners(batch, x, y, static_cast<float>(scale * font->cell_width), static_cast<float>(scale * font->cell_height));
  for (const GLushort corner : quad_indices) {
    batch.st.push_back(coords.st[2 * corner]);
    batch.st.push_back(coords.st[2 * corner + 1]);
  }
}

void add_rect(RectBatch& batch, int32_t width, int32_t height, float y, float red, float green, float blue) {
  add_corners(batch, 0, y, static_cast<float>(width), static_cast<float>(height));
  for (int corner = 0; corner < 6; ++corner) batch.colour.insert(batch.colour.end(), {red, green, blue});
}

void draw_glyph_batch(const RectBatch& batch, const BitmapFont* font) {
  if (!font || !font->texture || batch.xy.empty()) return;
  const bool blend = font->blend_src != 0 && font->blend_dst != 0;
  if (blend) {
    glEnable(GL_BLEND);
    glBlendFunc(font->blend_src, font->blend_dst);
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, font->texture->id);
  glVertexPointer(2, GL_FLOAT, 0, batch.xy.data());
  glTexCoordPointer(2, GL_FLOAT, 0, batch.st.data());
  set_ortho(viewport_width, viewport_height);
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(batch.xy.size() / 2));
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisable(GL_TEXTURE_2D);
  if (blend) glDisable(GL_BLEND);
}

void draw_rect_batch(const RectBatch& batch) {
  if (batch.xy.empty()) return;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, batch.xy.data());
  glColorPointer(3, GL_FLOAT, 0, batch.colour.data());
  set_ortho(viewport_width, viewport_height);
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(batch.xy.size() / 2));
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
}
