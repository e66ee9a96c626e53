// The full-screen white overlay: the flash that opens every scene and the
// fade to white before a change of scene.  Its alpha follows a cosine of the
// time since the overlay began.
#pragma once

struct FadeState {
  bool active;  // the overlay is drawn
  bool hold;    // the overlay never switches itself off
  bool invert;  // alpha is 1 - level instead of level
  float speed;  // radians per second
  float start;  // frame_time at which the current overlay began; 0: not yet begun
  float level;  // last computed cosine
};

extern FadeState fade_state;

// The flash of a scene's start: full white when no overlay is running, else it
// runs on from the hand-over's fade (its start time kept); gone once the
// cosine turns negative.
void start_scene_flash();
// The fade to white before a hand-over: rises to white and stays until cleared.
void start_fade_out();

// Advances the overlay to time `now` as one frame's drawing does: takes the
// start time if unset, computes the level, switches a released overlay off
// once the level is negative.  Returns the alpha to draw, meaningful only
// when the overlay was active on entry (the caller checks that first).
float advance_fade(FadeState& fade, float now);

// Draws the overlay over the whole screen if it is active.
void draw_fade_overlay();
