// The reflection scene: a bouncing colour cube over a mirroring checkerboard floor.
#pragma once

// Builds the scene's resources on the first call; every call opens with the flash.
void build_reflection_scene();
// One frame; leaves GL_CURRENT_BIT and GL_ENABLE_BIT pushed for the timeline to pop.
void draw_reflection_scene();
