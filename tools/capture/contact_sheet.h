// The contact sheet: one picture of the whole show, a frame from the middle
// of each scene (between its opening and the start of its fade to white), in
// the show's order, four to a row, each labelled with the scene and its time.
#pragma once

#include <cstdint>
#include <vector>

#include "picture_files.h"

struct SheetCandidate {
  float time;
  Picture thumbnail;
};

struct SheetScene {
  int32_t state;
  float entered;     // clock of its first frame
  float quiet_until;  // clock where its fade to white began, or its last frame
  bool fading;
  std::vector<SheetCandidate> candidates;
};

struct ContactSheet {
  int32_t shrink;        // thumbnails are the frame shrunk by this, each way
  int32_t every;         // a candidate every this many frames
  std::vector<SheetScene> scenes;  // the first visit of each scene
};

ContactSheet make_contact_sheet(int32_t width, int32_t fps);

// Notes frame `frame` of scene `state` at `time`; true when its picture is
// wanted as a candidate, to be handed over with add_sheet_picture.
bool sheet_wants_frame(ContactSheet& sheet, int32_t state, float time, bool fading, int64_t frame);
void add_sheet_picture(ContactSheet& sheet, float time, const uint8_t* rgba, int32_t width, int32_t height);

// The sheet from the candidates nearest each scene's middle.
Picture compose_contact_sheet(const ContactSheet& sheet);
