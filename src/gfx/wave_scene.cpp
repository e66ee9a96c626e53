// The wave scene: a rippling grid of coloured triangle strips.
// The scene's geometry is not built yet: the routines keep their places in
// start-up and in the timeline, and a frame of it is empty black.
#include "wave_scene.h"

#include <GL/gl.h>

void build_wave_scene() {}

void draw_wave_scene() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT);
}
