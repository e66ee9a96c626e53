// The contact sheet (see contact_sheet.h).  Candidates are kept only for the
// scene being shown, a few per second, as small thumbnails; labels are drawn
// with the show's own screen font.
#include "contact_sheet.h"

#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "bitmap_font.h"
#include "embedded_assets.h"
#include "scenes.h"

namespace {

constexpr int32_t COLUMNS = 4;
constexpr int32_t MARGIN = 8;

// The frame shrunk by `shrink` each way, averaging each block of pixels.
Picture thumbnail_of(const uint8_t* rgba, int32_t width, int32_t height, int32_t shrink) {
  Picture small;
  small.width = width / shrink;
  small.height = height / shrink;
  small.rgb.assign(size_t(small.width) * size_t(small.height) * 3, 0);
  const uint32_t area = uint32_t(shrink * shrink);
  for (int32_t y = 0; y < small.height; ++y) {
    for (int32_t x = 0; x < small.width; ++x) {
      uint32_t sum[3] = {0, 0, 0};
      for (int32_t dy = 0; dy < shrink; ++dy) {
        // Frames come bottom row first; thumbnails are top-down.
        const uint8_t* row = rgba + (size_t(height - 1 - (y * shrink + dy)) * size_t(width) + size_t(x * shrink)) * 4;
        for (int32_t dx = 0; dx < shrink; ++dx)
          for (int c = 0; c < 3; ++c) sum[c] += row[4 * dx + c];
      }
      uint8_t* out = &small.rgb[(size_t(y) * size_t(small.width) + size_t(x)) * 3];
      for (int c = 0; c < 3; ++c) out[c] = uint8_t((sum[c] + area / 2) / area);
    }
  }
  return small;
}

void paste(Picture& into, const Picture& from, int32_t left, int32_t top) {
  for (int32_t y = 0; y < from.height; ++y)
    std::copy_n(&from.rgb[size_t(y) * size_t(from.width) * 3], size_t(from.width) * 3,
                &into.rgb[(size_t(top + y) * size_t(into.width) + size_t(left)) * 3]);
}

// Text in the screen font, each sheet pixel a scale x scale block.
void draw_label(Picture& into, const unsigned char* font, int32_t font_width, const char* text, int32_t left,
                int32_t top, int32_t scale) {
  const BitmapFont layout = {8, 16, 0, 0, nullptr};
  for (int32_t i = 0; text[i]; ++i) {
    const GlyphCell cell = glyph_cell(layout, static_cast<uint8_t>(text[i]));
    for (int32_t y = 0; y < 16 * scale; ++y) {
      for (int32_t x = 0; x < 8 * scale; ++x) {
        const unsigned char* lit = font + (size_t(cell.y0 + y / scale) * size_t(font_width) + size_t(cell.x0 + x / scale)) * 3;
        if (!lit[0] && !lit[1] && !lit[2]) continue;
        const int32_t px = left + (i * 8) * scale + x, py = top + y;
        if (px >= into.width || py >= into.height) continue;
        uint8_t* out = &into.rgb[(size_t(py) * size_t(into.width) + size_t(px)) * 3];
        out[0] = out[1] = out[2] = 230;
      }
    }
  }
}

}  // namespace

ContactSheet make_contact_sheet(int32_t width, int32_t fps) {
  // About 480 pixels a thumbnail, six candidates a second.
  return {std::max(1, width / 480), std::max(1, fps / 6), {}};
}

bool sheet_wants_frame(ContactSheet& sheet, int32_t state, float time, bool fading, int64_t frame) {
  if (sheet.scenes.empty() || sheet.scenes.back().state != state) {
    for (const SheetScene& seen : sheet.scenes)
      if (seen.state == state) return false;  // only the first visit of a scene
    sheet.scenes.push_back({state, time, time, false, {}});
  }
  SheetScene& scene = sheet.scenes.back();
  if (scene.fading) return false;
  scene.fading = fading;
  scene.quiet_until = time;
  return !fading && frame % sheet.every == 0;
}

void add_sheet_picture(ContactSheet& sheet, float time, const uint8_t* rgba, int32_t width, int32_t height) {
  sheet.scenes.back().candidates.push_back({time, thumbnail_of(rgba, width, height, sheet.shrink)});
}

Picture compose_contact_sheet(const ContactSheet& sheet) {
  int32_t cell_width = 0, cell_height = 0;
  for (const SheetScene& scene : sheet.scenes)
    for (const SheetCandidate& candidate : scene.candidates) {
      cell_width = std::max(cell_width, candidate.thumbnail.width);
      cell_height = std::max(cell_height, candidate.thumbnail.height);
    }
  const int32_t scale = std::max(1, cell_width / 320);
  const int32_t label_height = 16 * scale + MARGIN;
  const int32_t rows = (int32_t(sheet.scenes.size()) + COLUMNS - 1) / COLUMNS;
  Picture out;
  out.width = MARGIN + COLUMNS * (cell_width + MARGIN);
  out.height = MARGIN + rows * (cell_height + label_height + MARGIN);
  out.rgb.assign(size_t(out.width) * size_t(out.height) * 3, 24);

  int font_width = 0, font_height = 0, channels = 0;
  unsigned char* font = stbi_load_from_memory(asset_screen_font_bmp, asset_screen_font_bmp_size, &font_width,
                                              &font_height, &channels, 3);
  for (size_t i = 0; i < sheet.scenes.size(); ++i) {
    const SheetScene& scene = sheet.scenes[i];
    if (scene.candidates.empty()) continue;
    const float middle = (scene.entered + scene.quiet_until) * 0.5f;
    const SheetCandidate& chosen = *std::min_element(
        scene.candidates.begin(), scene.candidates.end(), [middle](const SheetCandidate& a, const SheetCandidate& b) {
          return std::fabs(a.time - middle) < std::fabs(b.time - middle);
        });
    const int32_t left = MARGIN + int32_t(i % COLUMNS) * (cell_width + MARGIN);
    const int32_t top = MARGIN + int32_t(i / COLUMNS) * (cell_height + label_height + MARGIN);
    paste(out, chosen.thumbnail, left, top);
    char label[64];
    const Scene* shown = scene_of(scene.state);
    const char* name = shown ? shown->name : "scene";
    std::snprintf(label, sizeof label, "%d %s  %.2f s", int(scene.state), name, double(chosen.time));
    if (font && font_width >= 256 && font_height >= 128) draw_label(out, font, font_width, label, left, top + cell_height + MARGIN / 2, scale);
  }
  stbi_image_free(font);
  return out;
}
