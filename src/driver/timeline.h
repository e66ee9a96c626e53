// The show's conductor: once per frame it takes the clock and the music's
// position from its caller, starts and draws the current scene and the
// overlay, and tells the caller when the music must start and when the show
// is over.  The live intro and the offline capture run the same frames.
#pragma once

#include <cstdint>

// What a frame is drawn from.
struct FrameInputs {
  float clock;              // seconds on the show's clock
  bool song_published;      // the song is loaded, so the music can be started
  bool music_playing;       // the music plays: the position below is current
  uint16_t order_position;  // the replayer's order position and the row it reads next
  uint8_t row;
};

// What the caller must do after the frame.
struct FrameOutcome {
  bool start_music;  // the welcome screen began in this frame: start the music
  bool drawn;        // false when a scene handed over: the frame drew nothing
  bool show_over;    // the show ended: nothing was drawn, present nothing and stop
};

FrameOutcome render_frame(const FrameInputs& inputs);
