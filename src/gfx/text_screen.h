// The four text screens (welcome, programme, greetings, credits): one text
// typed character by character, centred, over the streaming star field.
#pragma once

#include <cstdint>

struct TextScreenState {
  const char* text;        // null until the first text screen starts
  int32_t length;          // bytes
  uint32_t typed;          // last index that may be drawn
  float origin_x, origin_y;
  float last_step_time;    // frame_time of the last typing step
  int32_t text_scale;      // pixel_scale when the screen started
  bool stars_made;
  float last_star_step;    // frame_time of the last star step
};

extern TextScreenState text_screen;

// Extent of a text: every byte, the line feed included, counts a column, so
// a line ending in a line feed is one wider than its visible text; the
// height counts line feeds rather than lines.
struct TextExtent {
  int32_t widest;
  int32_t line_feeds;
};
TextExtent measure_text(const char* text);

// Top-left corner that centres a text of that extent at the given glyph scale.
void centre_text(TextScreenState& state, TextExtent extent, int32_t width, int32_t height);

// One typing step if more than 0.02 s passed since the last: reveals one more byte.
void advance_typing(TextScreenState& state, float now);

void start_text_screen();
void draw_text_screen();
