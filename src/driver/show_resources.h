// The show's GL resources and fixed state, made once before its first frame:
// by the intro in its window, and by the offscreen capture in its own context.
#pragma once

// The boot console's picture; needs a current GL context.
void load_boot_logo();

// The fixed GL state every scene relies on, both fonts, the glyph scale for
// screen_height, and every scene's display lists, textures and star field.
void prepare_show_resources();
