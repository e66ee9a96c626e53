// The 3D scenes' maths and data, checked without a window: the planar
// shadow, the cube's winding, which floor blocks are skipped, the cube's
// colours, and the wave grid's strips and heights.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "reflection_scene.h"
#include "street_scene.h"
#include "wave_scene.h"

namespace {

const float stored_plane[4] = {0, 65536, 0, -0.0f};

// Where the shadow matrix sends a point, after the divide by w.
void project(const float m[16], const float p[3], float out[3]) {
  float r[4];
  for (int row = 0; row < 4; ++row) {
    r[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
  }
  for (int i = 0; i < 3; ++i) out[i] = r[i] / r[3];
}

TEST(ShadowMatrix, PointsLandWhereTheLightRayMeetsTheFloor) {
  float m[16];
  compute_shadow_matrix(stored_plane, reflection_light_position, m);
  // Each point lands on the floor, on the line from the light through it.
  for (const auto& point : {std::array<float, 3>{0, 2, 0}, std::array<float, 3>{1.5f, 3.0f, -2.0f}}) {
    float shadow[3];
    project(m, point.data(), shadow);
    EXPECT_NEAR(shadow[1], 0.0f, 1e-5f);
    const float* L = reflection_light_position;
    const float s = L[1] / (L[1] - point[1]);  // ray parameter where y reaches 0
    EXPECT_NEAR(shadow[0], L[0] + s * (point[0] - L[0]), 1e-4f);
    EXPECT_NEAR(shadow[2], L[2] + s * (point[2] - L[2]), 1e-4f);
  }
}

TEST(Cube, EveryTriangleIsCounterClockwiseFromOutsideAndMatchesItsNormal) {
  std::set<int> used;
  for (int t = 0; t < 12; ++t) {
    const float* a = &cube_positions[3 * cube_indices[3 * t]];
    const float* b = &cube_positions[3 * cube_indices[3 * t + 1]];
    const float* c = &cube_positions[3 * cube_indices[3 * t + 2]];
    const float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const float v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    const float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const float centre[3] = {(a[0] + b[0] + c[0]) / 3, (a[1] + b[1] + c[1]) / 3, (a[2] + b[2] + c[2]) / 3};
    // Outward: the cross product points away from the cube's centre.
    EXPECT_GT(n[0] * centre[0] + n[1] * centre[1] + n[2] * centre[2], 0.0f) << "triangle " << t;
    const float* normal = &cube_normals[3 * cube_indices[3 * t]];
    EXPECT_GT(n[0] * normal[0] + n[1] * normal[1] + n[2] * normal[2], 0.0f) << "triangle " << t;
    for (int k = 0; k < 3; ++k) used.insert(cube_indices[3 * t + k]);
  }
  EXPECT_EQ(used.size(), 24u);
}

// The scene's camera as gluPerspective(60, 16/9, 0.5, 1000) and gluLookAt from
// (0, 8, 15) to (0, 2, 0) would set it, column-major.
void reflection_camera(float modelview[16], float projection[16]) {
  const double f = 1 / std::tan(M_PI / 6), aspect = 16.0 / 9, n = 0.5, far = 1000;
  std::memset(projection, 0, 16 * sizeof(float));
  projection[0] = float(f / aspect);
  projection[5] = float(f);
  projection[10] = float((far + n) / (n - far));
  projection[11] = -1;
  projection[14] = float(2 * far * n / (n - far));
  const double eye[3] = {0, 8, 15}, length = std::sqrt(36.0 + 225.0);
  const double forward[3] = {0, -6 / length, -15 / length}, side[3] = {1, 0, 0};
  const double up[3] = {0, -forward[2], forward[1]};  // side x forward
  std::memset(modelview, 0, 16 * sizeof(float));
  for (int c = 0; c < 3; ++c) {
    modelview[4 * c] = float(side[c]);
    modelview[4 * c + 1] = float(up[c]);
    modelview[4 * c + 2] = float(-forward[c]);
  }
  for (int r = 0; r < 3; ++r) {
    const double* axis = r == 0 ? side : r == 1 ? up : forward;
    const double sign = r == 2 ? 1 : -1;
    modelview[12 + r] = float(sign * (axis[0] * eye[0] + axis[1] * eye[1] + axis[2] * eye[2]));
  }
  modelview[15] = 1;
}

TEST(Floor, OnlyBlocksOutOfViewOrWhollyPastTheFogAreLeftOut) {
  float modelview[16], projection[16];
  reflection_camera(modelview, projection);
  // Under the cube, in front of the camera.
  EXPECT_FALSE(floor_block_unseen(modelview, projection, -8, -8, 0, 0, 45));
  // Behind the camera, and far off to its side.
  EXPECT_TRUE(floor_block_unseen(modelview, projection, -4, 20, 4, 28, 45));
  EXPECT_TRUE(floor_block_unseen(modelview, projection, 56, 8, 64, 16, 45));
  // Ahead on the line of sight: depths 42.9 to 46.6 straddle the fog's end; 54.0 to 57.8 lie past it.
  EXPECT_FALSE(floor_block_unseen(modelview, projection, -4, -32, 4, -28, 45));
  EXPECT_TRUE(floor_block_unseen(modelview, projection, -4, -44, 4, -40, 45));
  EXPECT_FALSE(floor_block_unseen(modelview, projection, -4, -44, 4, -40, 60));
  // Corners a hair past the fog's end are kept: the driver's rounding must not decide.
  EXPECT_FALSE(floor_block_unseen(modelview, projection, -4, -44, 4, -40, 53.8f));
}

TEST(CubeColours, FollowTheShowClockWithinZeroToOne) {
  float early[72], later[72];
  compute_cube_colours(0, early);
  compute_cube_colours(1.5f, later);
  int changed = 0;
  for (int k = 0; k < 72; ++k) {
    EXPECT_GE(early[k], 0.0f);
    EXPECT_LE(early[k], 1.0f);
    EXPECT_GE(later[k], 0.0f);
    EXPECT_LE(later[k], 1.0f);
    changed += early[k] != later[k];
  }
  EXPECT_GT(changed, 60);
}

class WaveArrays : public ::testing::Test {
 protected:
  void SetUp() override { fill_wave_arrays(); }
};

TEST_F(WaveArrays, EveryStripTriangleIsAGridHalfCellOrDegenerate) {
  // Walking the strip as GL does: each proper triangle must be half of one
  // grid cell, so nothing is drawn across the grid.
  int proper = 0;
  for (int k = 0; k + 2 < wave_index_count; ++k) {
    const uint32_t a = wave_indices[k], b = wave_indices[k + 1], c = wave_indices[k + 2];
    if (a == b || b == c || a == c) continue;
    ++proper;
    const uint32_t row = std::min({a / 40, b / 40, c / 40});
    const uint32_t column = std::min({a % 40, b % 40, c % 40});
    const uint32_t lo = 40 * row + column;
    std::set<uint32_t> cell = {lo, lo + 1, lo + 40, lo + 41};
    for (uint32_t v : {a, b, c}) ASSERT_TRUE(cell.count(v)) << "triangle " << k << " row " << row;
  }
  EXPECT_EQ(proper, 39 * 39 * 2);
}

TEST_F(WaveArrays, HeightsRippleWithTheShowClockAndOnlyTheHeightsMove) {
  update_wave_heights(0);
  std::vector<float> before(wave_positions, wave_positions + 3 * wave_vertex_count);
  update_wave_heights(2.5f);
  int moved = 0;
  for (int v = 0; v < wave_vertex_count; ++v) {
    ASSERT_EQ(wave_positions[3 * v], before[3 * v]) << v;  // x and y stay put
    ASSERT_EQ(wave_positions[3 * v + 1], before[3 * v + 1]) << v;
    ASSERT_LE(std::fabs(wave_positions[3 * v + 2]), 1.0f) << v;
    moved += wave_positions[3 * v + 2] != before[3 * v + 2];
  }
  EXPECT_GT(moved, wave_vertex_count * 9 / 10);
}

}  // namespace
