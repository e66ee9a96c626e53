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

// Corners equal in position, texture coordinate and normal share one vertex,
// numbered in order of first use, within a shape only.
TEST(MeshLoading, EqualCornersShareAVertexWithinAShape) {
  const std::string triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  const struct {
    const char* name;
    std::string obj, mtl;
    std::vector<uint32_t> indices;
  } cases[] = {
      {"a triangle", triangle + "f 1 2 3\n", "", {0, 1, 2}},
      {"a quad's diagonal", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\nf 1//1 3//1 4//1\n",
       "", {0, 1, 2, 0, 2, 3}},
      {"one position with two normals", triangle + "vn 0 0 1\nvn 0 0 -1\nf 1//1 2//1 3//1\nf 1//2 3//2 2//2\n", "",
       {0, 1, 2, 3, 4, 5}},
      {"zero and minus zero", "v 0 0 0\nv -0 0 -0\nv 1 0 0\nv 0 1 0\nf 1 3 4\nf 2 4 3\n", "", {0, 1, 2, 0, 2, 1}},
      {"two shapes", triangle + "o first\nf 1 2 3\no second\nf 1 2 3\n", "", {0, 1, 2, 3, 4, 5}},
      // The material library comes from the given text, never from disk.
      {"a material", "mtllib nowhere_on_disk.mtl\nusemtl Green\n" + triangle + "f 1 2 3\n",
       "newmtl Green\nKd 0 1 0\n", {0, 1, 2}},
  };
  for (const auto& c : cases) {
    const Flat f = flatten(c.obj, c.mtl);
    ASSERT_TRUE(f.ok) << c.name << ": " << f.error;
    EXPECT_EQ(f.indices, c.indices) << c.name;
    EXPECT_EQ(f.vertices.size(), *std::max_element(c.indices.begin(), c.indices.end()) + 1u) << c.name;
  }
}

TEST(MeshLoading, TextureVIsFlippedAndMissingNormalsAndCoordinatesAreZero) {
  const Flat given = flatten("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.25 0.75\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n");
  ASSERT_TRUE(given.ok) << given.error;
  EXPECT_FLOAT_EQ(given.vertices[0].uv[0], 0.25f);
  EXPECT_FLOAT_EQ(given.vertices[0].uv[1], 0.25f);
  EXPECT_EQ(given.vertices[2].normal[2], 1.0f);
  const Flat bare = flatten("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  ASSERT_TRUE(bare.ok) << bare.error;
  for (const MeshVertex& v : bare.vertices) {
    EXPECT_EQ(v.normal[0], 0.0f);
    EXPECT_EQ(v.normal[1], 0.0f);
    EXPECT_EQ(v.normal[2], 0.0f);
    EXPECT_EQ(v.uv[0], 0.0f);
    EXPECT_EQ(v.uv[1], 0.0f);
  }
  EXPECT_EQ(bare.vertices[1].position[0], 1.0f);
  EXPECT_EQ(bare.vertices[2].position[1], 1.0f);
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
  std::vector<uint32_t> indices;
  const std::vector<MeshVertex> vertices = load_mesh(indices, text(asset_logo_obj, asset_logo_obj_size),
                                                     text(asset_logo_mtl, asset_logo_mtl_size));
  ASSERT_FALSE(vertices.empty());
  EXPECT_EQ(indices.size() % 3, 0u);
  const Extent e = extent_of(vertices);
  EXPECT_NEAR(e.hi[0] - e.lo[0], 3.1f, 0.05f);
  EXPECT_NEAR(e.hi[1] - e.lo[1], 2.7f, 0.05f);
  EXPECT_NEAR(e.hi[2] - e.lo[2], 0.66f, 0.01f);
  for (uint32_t index : indices) ASSERT_LT(index, vertices.size());
}

}  // namespace
