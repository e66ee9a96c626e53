// The star field behind the text screens: 4096 points that stream towards
// the viewer, filled once and then moved only in depth.
#pragma once

#include <cstdint>

struct Star {
  int32_t x;       // 0 .. screen_width - 1
  int32_t y;       // 0 .. screen_height - 1
  uint32_t depth;  // 0 .. 999 at first, then 0 .. 984
};

constexpr int star_count = 4096;
extern Star star_field[star_count];

// Three numbers per star, x, y, depth, in the sequence of the C library's
// unseeded rand (but drawn from a generator of its own).
void fill_star_field(int32_t width, int32_t height);

// One step towards the viewer: stars whose index is a multiple of 3 move two
// units, the others one; unsigned wrap-around then mod 985 sends a star at
// depth 0 or 1 back to 874 or 875.
inline uint32_t step_star_depth(uint32_t depth, int index) {
  return (depth - 2u + (index % 3 != 0 ? 1u : 0u)) % 985u;
}

// Grey level of a star: nearer is brighter.
inline float star_brightness(uint32_t depth) { return 1.0f - static_cast<float>(depth) * 0.001f; }
