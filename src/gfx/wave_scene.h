// The wave scene: a rippling grid of coloured triangle strips.
#pragma once

#include <cstdint>

constexpr int32_t wave_grid = 40;                        // vertices per row and column
constexpr int32_t wave_vertex_count = wave_grid * wave_grid;
constexpr int32_t wave_index_count = 4800;

extern float wave_positions[wave_vertex_count * 3];
extern float wave_colours[wave_vertex_count * 3];
extern uint32_t wave_indices[wave_index_count];

// Fills the three arrays: the flat grid, the rainbow colours, the joined strips.
void fill_wave_arrays();
// Each vertex's height at show time t.
void update_wave_heights(float t);

// Fills the scene's arrays afresh and opens with the flash, on every call.
void build_wave_scene();
// One frame; leaves GL_CURRENT_BIT and GL_ENABLE_BIT pushed for the timeline to pop.
void draw_wave_scene();
