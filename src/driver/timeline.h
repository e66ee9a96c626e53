// The show's conductor: once per frame it reads the clock, samples the
// music's position, starts and draws the current scene and the overlay, and
// ends the process when the show is over.
#pragma once

#include <cstdint>

// Runs the start routine of a scene; entering the welcome screen also
// resumes the music.
void start_scene(int32_t state);

void render_frame();
