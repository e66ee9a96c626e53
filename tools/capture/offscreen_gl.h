// An OpenGL context with no display server, for drawing the show offscreen:
// EGL on a GPU driver's device where one is offered, else Mesa's surfaceless
// platform or its software device.  The show draws into a multisampled pbuffer, a window-system
// framebuffer like the intro's window, so that it is rasterised the same way
// (Mesa draws framebuffer objects upside down inside, which moves edges and
// points by a sample); where no such pbuffer is offered, into a multisampled
// framebuffer object resolved with a blit.
#pragma once

#include <cstdint>
#include <string>

struct OffscreenTarget {
  void* display;            // EGLDisplay
  void* context;            // EGLContext
  void* surface;            // the pbuffer, or EGL_NO_SURFACE when drawing into framebuffer objects
  uint32_t draw_buffer;     // the framebuffer the show draws into: 0 for the pbuffer
  uint32_t resolve_buffer;  // single-sampled, read back: 0 for the pbuffer
  int32_t width, height, samples;
  std::string renderer;     // GL_RENDERER of the context made
};

// Makes the context current and binds the framebuffer for drawing, once a
// cleared colour has read back whole from it at the size and samples asked
// for.  False with a one-line reason, naming each way tried, otherwise.
bool open_offscreen(int32_t width, int32_t height, int32_t samples, OffscreenTarget& target, std::string& error);

// Resolves the drawn frame and reads it back: width x height RGBA, bottom
// row first; the framebuffer is bound for drawing again afterwards.  False
// with the reason when GL reports an error or the read stores nothing.
bool read_offscreen(const OffscreenTarget& target, uint8_t* rgba, std::string& error);
