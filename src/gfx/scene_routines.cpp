// Each scene's start and draw routines (see scene_routines.h), in the scene
// table's order.
#include "scene_routines.h"

#include "boot_console.h"
#include "reflection_scene.h"
#include "street_scene.h"
#include "text_screen.h"
#include "wave_scene.h"

const SceneRoutines scene_routines[SCENE_COUNT] = {
    {start_boot_console, draw_boot_console},          // boot console
    {start_text_screen, draw_text_screen},            // welcome
    {build_reflection_scene, draw_reflection_scene},  // reflection
    {start_text_screen, draw_text_screen},            // programme
    {build_wave_scene, draw_wave_scene},              // wave
    {start_text_screen, draw_text_screen},            // greetings
    {build_street_scene, draw_street_scene},          // street
    {start_text_screen, draw_text_screen},            // credits
};
