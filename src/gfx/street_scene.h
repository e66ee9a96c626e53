// The street scene: a road with the event's logo spinning along it.
#pragma once

#include <cstdint>

struct Texture;

// GL display lists of the logo, one road segment and the grass ground; 0 until built.
extern uint32_t logo_list;
extern uint32_t street_list;
extern uint32_t ground_list;
extern Texture* street_texture;
extern Texture* grass_texture;

// How far the logo has come back along the road (0 to 75 units) at scene time tau.
float logo_travel(float tau);

// Builds the scene's resources on the first call; every call opens with the flash.
void build_street_scene();
// One frame; leaves GL_CURRENT_BIT and GL_ENABLE_BIT pushed for the timeline to pop.
void draw_street_scene();
