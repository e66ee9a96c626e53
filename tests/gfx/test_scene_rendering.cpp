// Frames of the 3D scenes drawn in a real GL window (a private Xvfb with
// Mesa, started by in_xvfb.py) and read back: the reflection shows through
// the floor, the shadow darkens each floor pixel once, the wave strip draws
// exactly the grid's cells, the road and grass are textured and the logo green,
// and the fade's white stays white under a driver that fogs by eye distance.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fade_overlay.h"
#include "reflection_scene.h"
#include "scene_window.h"
#include "show_state.h"
#include "street_scene.h"
#include "wave_scene.h"

namespace {

constexpr int32_t width = 854, height = 480;

class SceneWindow : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(open_scene_window(width, height, 4)) << "no GL window on $DISPLAY"; }
  void TearDown() override { close_scene_window(); }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new SceneWindow);

void keep(const Picture& picture, const std::string& name) {
  if (const char* folder = std::getenv("INTRO_SHOTS")) {
    write_ppm(picture, (std::string(folder) + "/" + name + ".ppm").c_str());
  }
}

struct ScreenPoint {
  int x, y;
  bool visible;
};

// Where a world point lands on screen (top-down rows) under the matrices the last frame left.
ScreenPoint project(double x, double y, double z) {
  double model[16], projection[16], wx, wy, wz;
  int viewport[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, model);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  gluProject(x, y, z, model, projection, viewport, &wx, &wy, &wz);
  const int px = static_cast<int>(wx), py = height - 1 - static_cast<int>(wy);
  return {px, py, px >= 0 && px < width && py >= 0 && py < height && wz > 0 && wz < 1};
}

int chroma(const uint8_t* p) { return std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}); }
float luminance(const uint8_t* p) { return 0.3f * p[0] + 0.59f * p[1] + 0.11f * p[2]; }

// Counts pixels in a square window around a point that satisfy a test.
template <typename Test>
int count_around(const Picture& picture, ScreenPoint centre, int radius, Test test) {
  int count = 0;
  for (int y = std::max(0, centre.y - radius); y <= std::min(height - 1, centre.y + radius); ++y) {
    for (int x = std::max(0, centre.x - radius); x <= std::min(width - 1, centre.x + radius); ++x) {
      count += test(picture.at(x, y)) ? 1 : 0;
    }
  }
  return count;
}

TEST(ReflectionScene, TheMirroredCubeShowsThroughTheFloorAndOnlyThere) {
  const float tau = 1.3f;  // the cube high above the floor, its reflection well apart from it
  start_scene_at(2, 20);
  draw_scene_at(2, 20 + tau);
  const Picture picture = read_picture();
  keep(picture, "render_reflection");
  const float h = std::fabs(5 * std::sin(tau)) + 1;
  const ScreenPoint mirrored = project(0, -h, 0);
  const ScreenPoint cube = project(0, h, 0);
  ASSERT_TRUE(mirrored.visible && cube.visible);
  // The floor itself is black and grey; colour under it can only be the reflection.
  const int coloured = count_around(picture, mirrored, 6, [](const uint8_t* p) { return chroma(p) > 10; });
  EXPECT_GT(coloured, 100) << "no reflection at " << mirrored.x << "," << mirrored.y;
  // Floor far from the cube and its shadow is grey, not tinted.
  const ScreenPoint plain = project(6, 0, 4);
  ASSERT_TRUE(plain.visible);
  EXPECT_EQ(count_around(picture, plain, 8, [](const uint8_t* p) { return chroma(p) > 6; }), 0);
  // Floor pixels carry the stencil mark; the sky above the horizon none.
  EXPECT_EQ(picture.stencil_at(mirrored.x, mirrored.y), 3);
  EXPECT_EQ(picture.stencil_at(width / 2, 5), 0);
}

// How many shadow triangles cover each pixel: the scene's shadow geometry
// drawn again under the same matrices, counting into the stencil buffer.
std::vector<uint8_t> shadow_coverage(float tau) {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glClear(GL_STENCIL_BUFFER_BIT);
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_STENCIL_TEST);
  glStencilFunc(GL_ALWAYS, 0, 0xFF);
  glStencilOp(GL_INCR, GL_INCR, GL_INCR);
  glPushMatrix();
  glMultMatrixf(reflection_scene.shadow_matrix);
  apply_cube_transform(tau);
  draw_cube_mesh(reflection_scene.cube);
  glPopMatrix();
  glFinish();
  glPopAttrib();
  return read_picture().stencil;
}

struct ShadowTally {
  int shadowed = 0, judged = 0, overlapped = 0, once = 0, twice = 0;
};

// Draws the scene with and without its cube and compares the grey floor
// cells in the shadow: darkened once they are at half their brightness.
ShadowTally tally_shadow(float tau) {
  start_scene_at(2, 20);
  CubeMesh* cube = reflection_scene.cube;
  reflection_scene.cube = nullptr;  // the drawing must cope with no cube: it shows the floor alone
  draw_scene_at(2, 20 + tau);
  const Picture bare = read_picture();
  reflection_scene.cube = cube;
  draw_scene_at(2, 20 + tau);
  const Picture shaded = read_picture();
  const std::vector<uint8_t> coverage = shadow_coverage(tau);
  ShadowTally tally;
  for (int32_t i = 0; i < width * height; ++i) {
    const int32_t x = i % width, y = i / width;
    tally.shadowed += shaded.stencil_at(x, y) == 2;
    if (coverage[i] == 0) continue;  // judged by where the shadow falls, not by the stencil's word
    const float before = luminance(bare.at(x, y));
    // Only grey cells clear of the reflection tell how dark the shadow is.
    if (before < 24 || chroma(shaded.at(x, y)) > 4 || chroma(bare.at(x, y)) > 4) continue;
    ++tally.judged;
    
    tally.overlapped += coverage[i] >= 2;
    const float ratio = luminance(shaded.at(x, y)) / before;
    tally.once += ratio > 0.4f && ratio < 0.62f;
    tally.twice += ratio < 0.35f;
  }
  return tally;
}

TEST(ReflectionScene, TheShadowDarkensEachFloorPixelOnceEvenWhereItsTrianglesOverlap) {
  const float tau = 2.9f;  // low over the floor, its shadow cast to the side
  ASSERT_NE(reflection_scene.cube, nullptr);
  const ShadowTally culled = tally_shadow(tau);
  EXPECT_GT(culled.shadowed, 500);
  ASSERT_GT(culled.judged, 100);
  EXPECT_GT(culled.once, culled.judged * 9 / 10);
  EXPECT_EQ(culled.twice, 0);
  // Without face culling both halves of the cube cast, so every shadow pixel
  // lies under two triangles; the stencil must still let only one darken it.
  glDisable(GL_CULL_FACE);
  const ShadowTally both = tally_shadow(tau);
  glEnable(GL_CULL_FACE);
  ASSERT_GT(both.overlapped, both.judged * 9 / 10);
  ASSERT_GT(both.judged, 100);
  EXPECT_GT(both.once, both.judged * 9 / 10);
  EXPECT_EQ(both.twice, 0);
}

TEST(WaveScene, TheStripDrawsExactlyTheGridsCells) {
  const float t = 47.3f;
  start_scene_at(4, 40);
  draw_scene_at(4, t);
  const Picture strip = read_picture();
  keep(strip, "render_wave");
  // The same grid drawn as separate triangles, two per cell, wound as the strip winds them.
  std::vector<uint32_t> cells;
  for (uint32_t r = 0; r < 39; ++r) {
    for (uint32_t j = 0; j < 39; ++j) {
      const uint32_t a = 40 * r + j;
      cells.insert(cells.end(), {a + 40, a, a + 1, a + 40, a + 1, a + 41});
    }
  }
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  glEnable(GL_MULTISAMPLE);
  glEnable(GL_DEPTH_TEST);
  glPushMatrix();
  glRotatef(-90, 1, 0, 0);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, wave_positions);
  glColorPointer(3, GL_FLOAT, 0, wave_colours);
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(cells.size()), GL_UNSIGNED_INT, cells.data());
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glPopMatrix();
  glPopAttrib();
  glFinish();
  const Picture reference = read_picture();

  int lit = 0, different = 0;
  for (size_t i = 0; i < strip.rgb.size(); i += 3) {
    lit += strip.rgb[i] + strip.rgb[i + 1] + strip.rgb[i + 2] > 30;
    different += std::abs(strip.rgb[i] - reference.rgb[i]) + std::abs(strip.rgb[i + 1] - reference.rgb[i + 1]) +
                     std::abs(strip.rgb[i + 2] - reference.rgb[i + 2]) > 24;
  }
  EXPECT_GT(lit, width * height / 4);  // the grid fills much of the view
  EXPECT_LT(different, width * height / 1000) << "the strip drew something besides the cells";
}

// Spread of luminance in a window: a texture shows as detail, a plain lit surface as none.
float spread_around(const Picture& picture, ScreenPoint centre, int radius) {
  float sum = 0, squares = 0;
  const int n = count_around(picture, centre, radius, [&](const uint8_t* p) {
    sum += luminance(p);
    squares += luminance(p) * luminance(p);
    return true;
  });
  const float mean = sum / n;
  return std::sqrt(std::max(0.0f, squares / n - mean * mean));
}

TEST(StreetScene, RoadAndGrassAreTexturedAndTheLogoIsGreen) {
  start_scene_at(6, 60);
  draw_scene_at(6, 60 + 2.0f);
  const Picture picture = read_picture();
  keep(picture, "render_street");
  const ScreenPoint grass = project(-14, 0, 12);
  const ScreenPoint lane = project(-2.1, 0.1, 4);
  const ScreenPoint pavement = project(-5.25, 0.3, 8);
  ASSERT_TRUE(grass.visible && lane.visible && pavement.visible);
  auto greenish = [](const uint8_t* p) { return p[1] > p[0] + 8 && p[1] > p[2]; };
  auto greyish = [](const uint8_t* p) { return chroma(p) < 40 && !(p[1] > p[0] + 25 && p[1] > p[2] + 25); };
  EXPECT_GT(count_around(picture, grass, 6, greenish), 150);
  EXPECT_GT(count_around(picture, lane, 6, greyish), 150);
  EXPECT_GT(spread_around(picture, grass, 6), 1.5f);
  EXPECT_GT(spread_around(picture, pavement, 10), 1.5f);
  // The lane is darker asphalt than the pavement beside it.
  float lane_light = 0, pavement_light = 0;
  count_around(picture, lane, 4, [&](const uint8_t* p) { lane_light += luminance(p); return true; });
  count_around(picture, pavement, 4, [&](const uint8_t* p) { pavement_light += luminance(p); return true; });
  EXPECT_LT(lane_light * 1.3f, pavement_light);

  const ScreenPoint logo = project(0, 4, 70 - logo_travel(2.0f));
  ASSERT_TRUE(logo.visible);
  auto pure_green = [](const uint8_t* p) { return p[1] > 60 && p[1] > 2 * p[0] && p[1] > 2 * p[2]; };
  EXPECT_GT(count_around(picture, logo, 12, pure_green), 40);
}

TEST(StreetScene, EnteringAgainReusesEverythingAndRestartsTheLogoFarAway) {
  const uint32_t lists[3] = {logo_list, street_list, ground_list};
  const Texture* textures[2] = {street_texture, grass_texture};
  start_scene_at(6, 90);
  EXPECT_EQ(logo_list, lists[0]);
  EXPECT_EQ(street_list, lists[1]);
  EXPECT_EQ(ground_list, lists[2]);
  EXPECT_EQ(street_texture, textures[0]);
  EXPECT_EQ(grass_texture, textures[1]);
  auto pure_green = [](const uint8_t* p) { return p[1] > 40 && p[1] > 2 * p[0] && p[1] > 2 * p[2]; };
  auto green_pixels = [&](const Picture& picture) {
    int count = 0;
    // Above the middle, where the logo rises over the horizon and no grass is.
    for (int y = 0; y < height / 2; ++y) {
      for (int x = 0; x < width; ++x) count += pure_green(picture.at(x, y));
    }
    return count;
  };
  // Restarted, the logo is back at the far end, lost in the fog; had the
  // bounce gone on from the earlier entry it would be close and bright.
  draw_scene_at(6, 90);
  EXPECT_LT(green_pixels(read_picture()), 20);
  draw_scene_at(6, 90 + 1.6f);  // a quarter of the way along its path: well in view
  EXPECT_GT(green_pixels(read_picture()), 100);
}

// Mesa fogs by |z| unless told otherwise; GL_NV_fog_distance makes it fog by
// the true eye distance, as other drivers may, under which the overlay's far
// corners (hundreds of units from the eye) would be fogged black.
TEST(FadeOverlay, StaysWhiteOverFoggedScenesWhenFogUsesTheEyeDistance) {
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  if (!extensions || !std::strstr(extensions, "GL_NV_fog_distance")) GTEST_SKIP() << "no GL_NV_fog_distance";
  constexpr GLenum fog_distance_mode = 0x855A, eye_radial = 0x855B, eye_plane_absolute = 0x855C;
  glFogi(fog_distance_mode, eye_radial);
  for (const int32_t state : {2, 6}) {
    start_scene_at(state, 20);
    start_fade_out();
    fade_state.start = 16;  // four seconds into the fade: the overlay is fully white
    frame_time = 20;
    if (state == 2) draw_reflection_scene();
    else draw_street_scene();
    draw_fade_overlay();
    glPopAttrib();
    const Picture picture = read_picture();
    keep(picture, "white_fade_" + std::to_string(state));
    int white = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) white += picture.at(x, y)[0] == 255 && picture.at(x, y)[2] == 255;
    }
    EXPECT_EQ(white, width * height) << "scene " << state;
  }
  glFogi(fog_distance_mode, eye_plane_absolute);
  fade_state = {};
}

// Each 3D scene sets the GL state it relies on (fog, lights, materials,
// blending): drawn in the reverse of the show's order in a fresh context,
// where nothing was set before it, every frame is the one the show draws.
// Last here, as it leaves the fresh context current.
TEST(SceneOrder, EveryFrameIsTheSameInAFreshContextInAnotherOrder) {
  const int32_t states[] = {2, 4, 6};
  std::vector<Picture> in_show_order;
  for (const int32_t state : states) {
    start_scene_at(state, 10);
    draw_scene_at(state, 13.5f);
    in_show_order.push_back(read_picture());
  }
  ASSERT_TRUE(open_fresh_context());
  for (int i = 2; i >= 0; --i) {
    start_scene_at(states[i], 10);
    draw_scene_at(states[i], 13.5f);
    const Picture picture = read_picture();
    keep(picture, "fresh_context_" + std::to_string(states[i]));
    EXPECT_TRUE(picture.rgb == in_show_order[size_t(i)].rgb) << "scene " << states[i];
  }
}

}  // namespace
