// The street scene: a road with the event's logo spinning along it.
// The scene's geometry is not built yet: the routines keep their places in
// start-up and in the timeline, and a frame of it is empty black.
#include "street_scene.h"

#include <GL/gl.h>

void build_street_scene() {}

void draw_street_scene() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT);
}
