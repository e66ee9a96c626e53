// The reflection scene: a bouncing colour cube over a mirroring checkerboard floor.
// The scene's geometry is not built yet: the routines keep their places in
// start-up and in the timeline, and a frame of it is empty black.
#include "reflection_scene.h"

#include <GL/gl.h>

void build_reflection_scene() {}

void draw_reflection_scene() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT);
}
