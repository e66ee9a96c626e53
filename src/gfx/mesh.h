// Meshes from the embedded OBJ and MTL texts: parsed by tinyobjloader and
// flattened into unique interleaved vertices plus triangle indices, ready
// for one glDrawElements call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MeshVertex {
  float position[3];
  float normal[3];
  float uv[2];
};
static_assert(sizeof(MeshVertex) == 32, "the display lists read vertices with a 32-byte stride");

// Parses and flattens one model.  Vertices are shared within a shape (all
// eight floats equal, 0 equal to -0) but never across shapes; a corner
// without a normal gets (0, 0, 0), one without texture coordinates (0, 0),
// and v is stored as 1 - v.  On failure returns false with the reader's
// error (empty if it gave none) and leaves both arrays empty.
bool parse_mesh(const std::string& obj_text, const std::string& mtl_text,
                std::vector<MeshVertex>& vertices, std::vector<uint32_t>& indices, std::string& error);

// parse_mesh for the embedded models, which must parse: on failure prints
// "TinyObjReader: <error>" (when there is an error text) and ends the
// process with status 1.
std::vector<MeshVertex> load_mesh(std::vector<uint32_t>& out_indices, const std::string& obj_text,
                                  const std::string& mtl_text);
