// The wave scene: a rippling grid of coloured triangle strips.
#pragma once

// Builds the scene's resources on the first call; every call opens with the flash.
void build_wave_scene();
// One frame; leaves GL_CURRENT_BIT and GL_ENABLE_BIT pushed for the timeline to pop.
void draw_wave_scene();
