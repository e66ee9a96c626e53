// The routines that start and draw each scene, indexed by scene_state as the
// scene table is: the timeline and the test window run scenes through them.
#pragma once

#include "scenes.h"

struct SceneRoutines {
  void (*start)();
  void (*draw)();
};

extern const SceneRoutines scene_routines[SCENE_COUNT];
