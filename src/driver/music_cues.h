// The music tests of the timeline, run before a scene is drawn: at the order
// positions and rows its row of the scene table names, a scene fades to
// white, hands over to the next, or ends the show.
#pragma once

#include <cstdint>

enum class CueResult {
  DRAW,       // draw the current scene as usual
  HAND_OVER,  // a 3D scene handed over: this frame draws nothing
  SHOW_OVER,  // the show is over: exit before drawing anything
};

// The tests of the scene in scene_state (a text screen or a 3D scene) for the
// sampled position and row (the row most recently read).  A frame may last
// longer than a row, so the fade starts on the first sample at or after row
// 40 and the show ends on the first at or after its last row.  A scene ends
// once the replayer has moved on to its end position, which happens as it
// reads the last row of the position before, still playing.  The next state
// set here starts in the next frame.
CueResult run_music_cues(uint8_t position, uint8_t row);
