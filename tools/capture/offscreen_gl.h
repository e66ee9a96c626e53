// An OpenGL context with no display server, for drawing the show offscreen:
// EGL on a GPU driver's device where one is offered, else Mesa's surfaceless
// platform; a multisampled framebuffer object the show draws into, resolved
// and read back one frame at a time.
#pragma once

#include <cstdint>
#include <string>

struct OffscreenTarget {
  void* display;            // EGLDisplay
  void* context;            // EGLContext
  uint32_t draw_buffer;     // the framebuffer the show draws into (multisampled when samples > 1)
  uint32_t resolve_buffer;  // single-sampled, read back
  int32_t width, height, samples;
  std::string renderer;     // GL_RENDERER of the context made
};

// Makes the context current and binds the framebuffer for drawing.  False
// with a one-line reason when no usable GL context or framebuffer exists.
bool open_offscreen(int32_t width, int32_t height, int32_t samples, OffscreenTarget& target, std::string& error);

// Resolves the drawn frame and reads it back: width x height RGBA, bottom
// row first; the framebuffer is bound for drawing again afterwards.
void read_offscreen(const OffscreenTarget& target, uint8_t* rgba);
