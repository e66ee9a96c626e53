// The reflection scene: a bouncing colour cube over a mirroring checkerboard floor.
#pragma once

#include <cstddef>
#include <cstdint>

struct CubeMesh {
  float* positions;   // 24 vertices of x, y, z
  uint16_t* indices;  // 12 triangles
  int32_t index_count;
};

// The cube's corners (four per face), their face normals and its triangles,
// every one counter-clockwise seen from outside.
extern const float cube_positions[72];
extern const float cube_normals[72];
extern const uint16_t cube_indices[36];

extern const float reflection_light_position[4];

// What the scene keeps from its build to its frames and from frame to frame.
struct ReflectionScene {
  CubeMesh* cube;                // null until built, or while its allocation fails
  float cube_colours[72];        // this frame's vertex colours
  float shadow_matrix[16];       // the cube flattened onto the floor from the light
  float start;                   // frame_time when the scene was last entered
  uint32_t floor_lists;          // the floor's blocks, one display list each; 0 until built
  uint32_t floor_outline_list;   // the floor's square alone; 0 until built
};
extern ReflectionScene reflection_scene;

// Copies the constant cube into fresh heap memory; null (with everything
// freed) when any allocation fails.
CubeMesh* make_cube_mesh();

// The projection onto `plane` of what `light` shines on, column-major.
void compute_shadow_matrix(const float plane[4], const float light[4], float out[16]);

// Grey level of the floor's cell in row i, column j: black or mid-grey.
float floor_cell_grey(int32_t i, int32_t j);

// True when a floor rectangle (y = 0, x0..x1 by z0..z1) cannot change a
// pixel: every corner outside one side of the view, or every corner further
// in depth than fog_end, where the black fog meets the black background.
// The matrices are column-major, as GL returns them.
bool floor_block_unseen(const float modelview[16], const float projection[16], float x0, float z0, float x1,
                        float z1, float fog_end);

// The cube's vertex colours at show time t.
void compute_cube_colours(float t, float out[72]);

void draw_cube_mesh(const CubeMesh* cube);

// Multiplies the model matrix by the cube's pose at scene time tau: its
// bounce height, then its three tumbling rotations.
void apply_cube_transform(float tau);

// Builds the scene's resources on the first call; every call opens with the flash.
void build_reflection_scene();
// One frame; leaves GL_CURRENT_BIT and GL_ENABLE_BIT pushed for the timeline to pop.
void draw_reflection_scene();
