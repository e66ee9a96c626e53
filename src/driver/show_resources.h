// Everything the show draws with, made once before its first frame: by the
// intro in its window, by the offline capture and the test window in their
// own GL contexts.
#pragma once

#include <cstdint>

// Sets the screen size and the glyph scale for a width x height picture,
// loads the boot console's picture, runs `after_boot_logo` when given (the
// intro places and shows its window there), then sets the fixed GL state
// every scene relies on and makes both fonts and every scene's display
// lists, textures and star field.  Needs a current GL context.
void prepare_show(int32_t width, int32_t height, void (*after_boot_logo)() = nullptr);
