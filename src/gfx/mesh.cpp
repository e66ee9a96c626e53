// OBJ flattening (see mesh.h).  tinyobjloader serves the "mtllib" line from
// the MTL text itself, so no file is ever opened.
#include "mesh.h"

#include <tiny_obj_loader.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace {

struct VertexKey {
  MeshVertex vertex;
  bool operator==(const VertexKey& other) const {
    const float* a = &vertex.position[0];
    const float* b = &other.vertex.position[0];
    for (int i = 0; i < 8; ++i) {
      if (!(a[i] == b[i])) return false;  // float comparison: 0 and -0 are equal
    }
    return true;
  }
};

struct VertexKeyHash {
  size_t operator()(const VertexKey& key) const {
    const float* f = &key.vertex.position[0];
    size_t h = 1469598103934665603ull;
    for (int i = 0; i < 8; ++i) {
      // Adding 0 turns -0 into +0, so equal keys hash alike.
      const float value = f[i] + 0.0f;
      uint32_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      h = (h ^ bits) * 1099511628211ull;
    }
    return h;
  }
};

// True when index names an element of a table of `floats` floats, `width` to an element.
bool in_table(int index, size_t floats, size_t width) {
  return index >= 0 && static_cast<size_t>(index) < floats / width;
}

}  // namespace

bool parse_mesh(const std::string& obj_text, const std::string& mtl_text,
                std::vector<MeshVertex>& vertices, std::vector<uint32_t>& indices, std::string& error) {
  vertices.clear();
  indices.clear();
  error.clear();
  tinyobj::ObjReader reader;
  if (!reader.ParseFromString(obj_text, mtl_text, tinyobj::ObjReaderConfig())) {
    error = reader.Error();
    return false;
  }
  const tinyobj::attrib_t& attrib = reader.GetAttrib();
  for (const tinyobj::shape_t& shape : reader.GetShapes()) {
    std::unordered_map<VertexKey, uint32_t, VertexKeyHash> seen;
    for (const tinyobj::index_t& corner : shape.mesh.indices) {
      // The reader only warns about indices past its tables; a corrupt text is refused here.
      const bool has_normal = corner.normal_index >= 0;
      const bool has_uv = corner.texcoord_index >= 0;
      if (!in_table(corner.vertex_index, attrib.vertices.size(), 3) ||
          (has_normal && !in_table(corner.normal_index, attrib.normals.size(), 3)) ||
          (has_uv && !in_table(corner.texcoord_index, attrib.texcoords.size(), 2))) {
        vertices.clear();
        indices.clear();
        error = "face index out of range";
        return false;
      }
      MeshVertex v = {};
      for (int i = 0; i < 3; ++i) v.position[i] = attrib.vertices[3 * corner.vertex_index + i];
      if (has_normal) {
        for (int i = 0; i < 3; ++i) v.normal[i] = attrib.normals[3 * corner.normal_index + i];
      }
      if (has_uv) {
        v.uv[0] = attrib.texcoords[2 * corner.texcoord_index];
        v.uv[1] = 1.0f - attrib.texcoords[2 * corner.texcoord_index + 1];
      }
      const auto [entry, added] = seen.try_emplace(VertexKey{v}, static_cast<uint32_t>(vertices.size()));
      if (added) vertices.push_back(v);
      indices.push_back(entry->second);
    }
  }
  return true;
}

std::vector<MeshVertex> load_mesh(std::vector<uint32_t>& out_indices, const std::string& obj_text,
                                  const std::string& mtl_text) {
  std::vector<MeshVertex> vertices;
  std::string error;
  if (!parse_mesh(obj_text, mtl_text, vertices, out_indices, error)) {
    if (!error.empty()) std::printf("TinyObjReader: %s\n", error.c_str());
    // A model that does not parse leaves the show without a scene: that is a failure.
    std::fflush(stdout);
    std::exit(1);
  }
  return vertices;
}
