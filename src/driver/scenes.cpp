// The scene table (see scenes.h).  Positions are the embedded song's order
// positions; every one of them is a 64-row pattern of about 4.6 s.
#include "scenes.h"

#include "boot_console.h"
#include "reflection_scene.h"
#include "street_scene.h"
#include "text_screen.h"
#include "wave_scene.h"

const Scene scenes[SCENE_COUNT] = {
    // name          kind                     start                   draw                   music  fade  end row      next
    {"boot console", SceneKind::BOOT_CONSOLE, start_boot_console,     draw_boot_console,     false, NO_POSITION, NO_POSITION, ANY_ROW, 1},
    {"welcome",      SceneKind::TEXT_SCREEN,  start_text_screen,      draw_text_screen,      true,  1,  2,  ANY_ROW, 2},
    {"reflection",   SceneKind::SCENE_3D,     build_reflection_scene, draw_reflection_scene, false, 5,  6,  ANY_ROW, 3},
    {"programme",    SceneKind::TEXT_SCREEN,  start_text_screen,      draw_text_screen,      false, 7,  8,  ANY_ROW, 4},
    {"wave",         SceneKind::SCENE_3D,     build_wave_scene,       draw_wave_scene,       false, 11, 12, ANY_ROW, 5},
    {"greetings",    SceneKind::TEXT_SCREEN,  start_text_screen,      draw_text_screen,      false, 15, 16, ANY_ROW, 6},
    {"street",       SceneKind::SCENE_3D,     build_street_scene,     draw_street_scene,     false, 19, 20, ANY_ROW, 7},
    {"credits",      SceneKind::TEXT_SCREEN,  start_text_screen,      draw_text_screen,      false, NO_POSITION, 21, 62, SHOW_OVER_STATE},
};

const Scene* scene_of(int32_t state) { return state >= 0 && state < SCENE_COUNT ? &scenes[state] : nullptr; }

int16_t scene_first_position(int32_t state) {
  if (state <= 0 || state >= SCENE_COUNT) return NO_POSITION;
  return state == 1 ? 0 : scenes[state - 1].end_position;
}
