// The music tests of the timeline: at fixed order positions and rows of the
// song a scene fades to white, hands over to the next, or the show ends.
#pragma once

#include <cstdint>

enum class CueResult {
  DRAW,       // draw the current scene as usual
  HAND_OVER,  // a 3D scene handed over: this frame draws nothing
  SHOW_OVER,  // the show is over: exit before drawing anything
};

// Text screens (states 1, 3, 5, 7): fade-outs from row 40 of positions 1, 7
// and 15; the next scene once the replayer has moved on to position 2, 8 or
// 16 (as it reads the last row of the position before, which still plays);
// on the credits, the end from position 21, row 62, or once the song has
// gone past its last position.  A new state set here starts in the next frame.
CueResult run_text_screen_cues(uint8_t position, uint8_t row);

// 3D scenes (states 2, 4, 6): fade-out from row 40 of 5, 11 or 19; hand-over
// at 6, 12 or 20, which switches the overlay off and draws nothing.
CueResult run_scene_cues(uint8_t position, uint8_t row);
