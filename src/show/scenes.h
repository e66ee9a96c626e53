// The show's scenes, one row each, indexed by scene_state: the name the tools
// label them with, the text a text screen types, the music cues that fade and
// end them and the scene that follows.  The timeline runs the show from this
// table, the boot console and the text screens read their rows, and the
// capture, the test window and the benchmarks read it to name scenes; the
// routines that start and draw each scene are the graphics' (scene_routines.h).
#pragma once

#include <cstdint>

enum class SceneKind : uint8_t {
  BOOT_CONSOLE,  // ends by itself and has no overlay
  TEXT_SCREEN,   // drawn once more in the frame that ends it
  SCENE_3D,      // the frame that ends it draws nothing
};

constexpr int16_t NO_POSITION = -1;
constexpr int16_t ANY_ROW = -1;
constexpr int32_t SHOW_OVER_STATE = -1;

struct Scene {
  const char* name;
  SceneKind kind;
  const char* text;       // what a text screen types, or null
  bool starts_music;      // the music starts in its first frame
  int16_t fade_position;  // fades to white from row 40 of this order position
  int16_t end_position;   // the scene ends once the replayer stands at this position...
  int16_t end_row;        // ...and has read this row of it (or gone past the song's end)
  int32_t next_state;     // the scene after it, or SHOW_OVER_STATE
};

constexpr int32_t SCENE_COUNT = 8;
extern const Scene scenes[SCENE_COUNT];

// The scene shown in a state, or null for a number that is no scene.
const Scene* scene_of(int32_t state);

// The order position whose arrival starts a scene: the one that ends the
// scene before it (0 for the welcome screen, where the music starts).
int16_t scene_first_position(int32_t state);
