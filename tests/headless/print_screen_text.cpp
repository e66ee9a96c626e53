// Writes the text a scene shows, byte for byte as the intro holds it, to
// standard output, so that the screen tests compare the window with exactly
// what the program draws.  Usage: print_screen_text SCENE  (a scene's name: "boot console", "welcome", ...)
#include <cstdio>
#include <cstring>

#include "scenes.h"
#include "screen_texts.h"

int main(int argc, char** argv) {
  for (int32_t state = 0; argc == 2 && state < SCENE_COUNT; ++state) {
    if (std::strcmp(argv[1], scenes[state].name) != 0) continue;
    const char* text = scenes[state].kind == SceneKind::BOOT_CONSOLE ? boot_text : scenes[state].text;
    return text && std::fputs(text, stdout) >= 0 ? 0 : 1;
  }
  std::fprintf(stderr, "usage: print_screen_text SCENE (a scene's name)\n");
  return 2;
}
