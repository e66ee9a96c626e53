// The street scene: a road with the event's logo spinning along it.
#pragma once

// Builds the scene's resources on the first call; every call opens with the flash.
void build_street_scene();
// One frame; leaves GL_CURRENT_BIT and GL_ENABLE_BIT pushed for the timeline to pop.
void draw_street_scene();
