// Flattening OBJ texts into shared vertices and triangle indices: defaults
// for missing normals and texture coordinates, sharing within a shape only,
// the flipped v, refusal of broken texts, and the two embedded models.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "embedded_assets.h"
#include "mesh.h"

namespace {

struct Flat {
  bool ok;
  std::vector<MeshVertex> vertices;
  std::vector<uint32_t> indices;
  std::string error;
};

Flat flatten(const std::string& obj, const std::string& mtl = "") {
  Flat f;
  f.ok = parse_mesh(obj, mtl, f.vertices, f.indices, f.error);
  return f;
}

TEST(MeshLoading, MissingNormalsAndTextureCoordinatesDefaultToZero) {
  const Flat f = flatten("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  ASSERT_TRUE(f.ok) << f.error;
  ASSERT_EQ(f.vertices.size(), 3u);
  EXPECT_EQ(f.indices, (std::vector<uint32_t>{0, 1, 2}));
  for (const MeshVertex& v : f.vertices) {
    EXPECT_EQ(v.normal[0], 0.0f);
    EXPECT_EQ(v.normal[1], 0.0f);
    EXPECT_EQ(v.normal[2], 0.0f);
    EXPECT_EQ(v.uv[0], 0.0f);
    EXPECT_EQ(v.uv[1], 0.0f);
  }
  EXPECT_EQ(f.vertices[1].position[0], 1.0f);
  EXPECT_EQ(f.vertices[2].position[1], 1.0f);
}

TEST(MeshLoading, TextureVIsFlippedAndNormalsCopied) {
  const Flat f = flatten("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.25 0.75\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n");
  ASSERT_TRUE(f.ok) << f.error;
  ASSERT_EQ(f.vertices.size(), 3u);
  EXPECT_FLOAT_EQ(f.vertices[0].uv[0], 0.25f);
  EXPECT_FLOAT_EQ(f.vertices[0].uv[1], 0.25f);
  EXPECT_EQ(f.vertices[2].normal[2], 1.0f);
}

TEST(MeshLoading, EqualCornersShareAnIndexAndDifferentNormalsDoNot) {
  // A quad triangulated into two triangles shares its diagonal's corners.
  const Flat quad = flatten("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1 4//1\n");
  ASSERT_TRUE(quad.ok) << quad.error;
  EXPECT_EQ(quad.vertices.size(), 4u);
  ASSERT_EQ(quad.indices.size(), 6u);
  for (uint32_t index : quad.indices) EXPECT_LT(index, 4u);
  // The same position with two normals is two vertices.
  const Flat split = flatten(
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nvn 0 0 -1\nf 1//1 2//1 3//1\nf 1//2 3//2 2//2\n");
  ASSERT_TRUE(split.ok) << split.error;
  EXPECT_EQ(split.vertices.size(), 6u);
  // Vertices stay in order of first use.
  EXPECT_EQ(split.indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
}

TEST(MeshLoading, ZeroAndMinusZeroAreTheSameVertex) {
  const Flat f = flatten("v 0 0 0\nv -0 0 -0\nv 1 0 0\nv 0 1 0\nf 1 3 4\nf 2 4 3\n");
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(f.vertices.size(), 3u);
  EXPECT_EQ(f.indices[3], 0u);
}

TEST(MeshLoading, NoSharingAcrossShapes) {
  const Flat f = flatten("v 0 0 0\nv 1 0 0\nv 0 1 0\no first\nf 1 2 3\no second\nf 1 2 3\n");
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(f.vertices.size(), 6u);
  EXPECT_EQ(f.indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
}

TEST(MeshLoading, MaterialLibraryComesFromTheGivenText) {
  const std::string obj = "mtllib nowhere_on_disk.mtl\nusemtl Green\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
  const Flat f = flatten(obj, "newmtl Green\nKd 0 1 0\n");
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(f.indices.size(), 3u);
}

TEST(MeshLoading, BrokenTextsAreRefusedWithAnError) {
  const Flat zero = flatten("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n");
  EXPECT_FALSE(zero.ok);
  EXPECT_FALSE(zero.error.empty());
  EXPECT_TRUE(zero.vertices.empty());
  // The reader only warns about a corner past the positions; it must not be read.
  const Flat beyond = flatten("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n");
  EXPECT_FALSE(beyond.ok);
  EXPECT_FALSE(beyond.error.empty());
  EXPECT_TRUE(beyond.vertices.empty() && beyond.indices.empty());
  const Flat bad_normal = flatten("v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//4\n");
  EXPECT_FALSE(bad_normal.ok);
}

TEST(MeshLoadingDeathTest, AModelThatDoesNotParseEndsTheProcessWithStatusOne) {
  std::vector<uint32_t> indices;
  // Standard output is sent to standard error so that the death test can see the line.
  EXPECT_EXIT((dup2(2, 1), load_mesh(indices, "v 0 0 0\nf 0 1 2\n", "")), ::testing::ExitedWithCode(1),
              "TinyObjReader: .+");
}

struct Extent {
  float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
  float v_lo = 1e9f, v_hi = -1e9f;
};

Extent extent_of(const std::vector<MeshVertex>& vertices) {
  Extent e;
  for (const MeshVertex& v : vertices) {
    for (int i = 0; i < 3; ++i) {
      e.lo[i] = std::min(e.lo[i], v.position[i]);
      e.hi[i] = std::max(e.hi[i], v.position[i]);
    }
    e.v_lo = std::min(e.v_lo, v.uv[1]);
    e.v_hi = std::max(e.v_hi, v.uv[1]);
  }
  return e;
}

std::string text(const unsigned char* data, int32_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

TEST(EmbeddedModels, RoadSegmentHasItsExtentsAndRepeatingTexture) {
  std::vector<uint32_t> indices;
  const std::vector<MeshVertex> vertices =
      load_mesh(indices, text(asset_streetroad_obj, asset_streetroad_obj_size),
                text(asset_streetroad_mtl, asset_streetroad_mtl_size));
  EXPECT_EQ(indices.size(), 240u * 6u);
  EXPECT_LT(vertices.size(), indices.size());  // corners are shared
  const Extent e = extent_of(vertices);
  EXPECT_FLOAT_EQ(e.lo[0], -6.1f);
  EXPECT_FLOAT_EQ(e.hi[0], 6.1f);
  EXPECT_FLOAT_EQ(e.lo[1], 0.0f);
  EXPECT_FLOAT_EQ(e.hi[1], 0.2f);
  EXPECT_FLOAT_EQ(e.lo[2], -10.0f);
  EXPECT_FLOAT_EQ(e.hi[2], 10.0f);
  // v from -4.5 to 5.5 in the text, stored as 1 - v.
  EXPECT_FLOAT_EQ(e.v_lo, -4.5f);
  EXPECT_FLOAT_EQ(e.v_hi, 5.5f);
  for (const MeshVertex& v : vertices) {
    const float n = v.normal[0] * v.normal[0] + v.normal[1] * v.normal[1] + v.normal[2] * v.normal[2];
    ASSERT_FLOAT_EQ(n, 1.0f);
  }
}

TEST(EmbeddedModels, LogoIsAnEmblemOfTheGivenSize) {
  const std::string obj = text(asset_logo_obj, asset_logo_obj_size);
  EXPECT_NE(obj.find("mtllib logo.mtl"), std::string::npos);
  EXPECT_NE(obj.find("usemtl Logo"), std::string::npos);
  EXPECT_NE(obj.find("\ns 1\n"), std::string::npos);
  std::vector<uint32_t> indices;
  const std::vector<MeshVertex> vertices = load_mesh(indices, obj, text(asset_logo_mtl, asset_logo_mtl_size));
  ASSERT_FALSE(vertices.empty());
  EXPECT_EQ(indices.size() % 3, 0u);
  const Extent e = extent_of(vertices);
  EXPECT_NEAR(e.hi[0] - e.lo[0], 3.1f, 0.05f);
  EXPECT_NEAR(e.hi[1] - e.lo[1], 2.7f, 0.05f);
  EXPECT_NEAR(e.hi[2] - e.lo[2], 0.66f, 0.01f);
  for (uint32_t index : indices) ASSERT_LT(index, vertices.size());
}

}  // namespace
