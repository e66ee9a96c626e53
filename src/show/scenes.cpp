// The scene table (see scenes.h).  Positions are the embedded song's order
// positions; every one of them is a 64-row pattern of about 4.6 s.
#include "scenes.h"

#include "screen_texts.h"

const Scene scenes[SCENE_COUNT] = {
    // name          kind                     text            music  fade  end row      next
    {"boot console", SceneKind::BOOT_CONSOLE, nullptr,        false, NO_POSITION, NO_POSITION, ANY_ROW, 1},
    {"welcome",      SceneKind::TEXT_SCREEN,  welcome_text,   true,  1,  2,  ANY_ROW, 2},
    {"reflection",   SceneKind::SCENE_3D,     nullptr,        false, 5,  6,  ANY_ROW, 3},
    {"programme",    SceneKind::TEXT_SCREEN,  programme_text, false, 7,  8,  ANY_ROW, 4},
    {"wave",         SceneKind::SCENE_3D,     nullptr,        false, 11, 12, ANY_ROW, 5},
    {"greetings",    SceneKind::TEXT_SCREEN,  greetings_text, false, 15, 16, ANY_ROW, 6},
    {"street",       SceneKind::SCENE_3D,     nullptr,        false, 19, 20, ANY_ROW, 7},
    {"credits",      SceneKind::TEXT_SCREEN,  credits_text,   false, NO_POSITION, 21, 62, SHOW_OVER_STATE},
};

const Scene* scene_of(int32_t state) { return state >= 0 && state < SCENE_COUNT ? &scenes[state] : nullptr; }

int16_t scene_first_position(int32_t state) {
  if (state <= 0 || state >= SCENE_COUNT) return NO_POSITION;
  return state == 1 ? 0 : scenes[state - 1].end_position;
}
