// The offscreen context (see offscreen_gl.h).  The framebuffer functions are
// newer than the GL 1.x headers promise, so they are looked up at run time.
#include "offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

PFNGLGENFRAMEBUFFERSPROC gen_framebuffers;
PFNGLBINDFRAMEBUFFERPROC bind_framebuffer;
PFNGLGENRENDERBUFFERSPROC gen_renderbuffers;
PFNGLBINDRENDERBUFFERPROC bind_renderbuffer;
PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC renderbuffer_storage_multisample;
PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer;
PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status;
PFNGLBLITFRAMEBUFFERPROC blit_framebuffer;

template <typename F>
bool look_up(F& function, const char* name) {
  function = reinterpret_cast<F>(eglGetProcAddress(name));
  return function != nullptr;
}

bool has_extension(const char* list, const char* name) {
  if (!list) return false;
  const size_t length = std::strlen(name);
  for (const char* p = std::strstr(list, name); p; p = std::strstr(p + length, name))
    if ((p == list || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
  return false;
}

// A pbuffer config as the intro's window asks for one: 8-bit colour and
// alpha (no deeper colour, which rounds differently), 24-bit depth, 8-bit
// stencil, the samples asked for.  Null when none fits.
EGLConfig window_like_config(EGLDisplay display, int32_t samples) {
  const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                               EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 24,
                               EGL_STENCIL_SIZE, 8, EGL_SAMPLE_BUFFERS, samples > 1 ? 1 : 0,
                               EGL_SAMPLES, samples > 1 ? samples : 0, EGL_NONE};
  EGLConfig configs[64];
  EGLint count = 0;
  if (!eglChooseConfig(display, attributes, configs, 64, &count)) return nullptr;
  EGLConfig chosen = nullptr;
  for (EGLint i = 0; i < count; ++i) {
    EGLint red = 0, green = 0, blue = 0, alpha = 0, depth = 0, sampled = 0;
    eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &red);
    eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &green);
    eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &blue);
    eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &alpha);
    eglGetConfigAttrib(display, configs[i], EGL_DEPTH_SIZE, &depth);
    eglGetConfigAttrib(display, configs[i], EGL_SAMPLES, &sampled);
    if (red != 8 || green != 8 || blue != 8 || depth != 24 || sampled != (samples > 1 ? samples : 0)) continue;
    if (!chosen || alpha == 8) chosen = configs[i];
  }
  return chosen;
}

// Names of GL's errors, for messages a user can look up.
std::string gl_error_name(GLenum code) {
  switch (code) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default: return "GL error " + std::to_string(code);
  }
}

std::string size_text(int32_t width, int32_t height) { return std::to_string(width) + "x" + std::to_string(height); }

// An initialised EGL display to try, and its name in messages.
struct CandidateDisplay {
  EGLDisplay display;
  std::string name;  // e.g. "Mesa's surfaceless platform"
};

// A desktop GL context on the display, current with no surface (for
// framebuffer objects) or on a window-like pbuffer; false on failure.
bool make_context(EGLDisplay display, bool pbuffer, OffscreenTarget& target, std::string& why) {
  EGLConfig config = nullptr;
  EGLSurface surface = EGL_NO_SURFACE;
  if (pbuffer) {
    config = window_like_config(display, target.samples);
    if (!config) return why = "no pbuffer with 8-bit colour, depth 24, stencil 8 and " + std::to_string(target.samples) +
                              " samples", false;
    const EGLint size[] = {EGL_WIDTH, target.width, EGL_HEIGHT, target.height, EGL_NONE};
    surface = eglCreatePbufferSurface(display, config, size);
    if (surface == EGL_NO_SURFACE) return why = "no " + size_text(target.width, target.height) + " pbuffer", false;
  } else {
    // Any surface type: no surface is made (surfaceless Mesa offers no window configs).
    const EGLint attributes[] = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, &config, 1, &count) || count < 1) return why = "no desktop GL config", false;
  }
  // The show is fixed-function GL 1.x: a compatibility context of any version serves.
  const EGLint context_attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 1, EGL_CONTEXT_MINOR_VERSION, 1, EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attributes);
  if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, surface, surface, context)) {
    if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    return why = "no desktop GL context", false;
  }
  target.display = display;
  target.context = context;
  target.surface = surface;
  target.renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return true;
}

void release_context(OffscreenTarget& target) {
  eglMakeCurrent(target.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglDestroyContext(target.display, target.context);
  if (target.surface != EGL_NO_SURFACE) eglDestroySurface(target.display, target.surface);
  target.context = EGL_NO_CONTEXT;
  target.surface = EGL_NO_SURFACE;
}

// The displays to try, best first: a GPU driver's devices (the point of
// having one), then Mesa's surfaceless platform, then Mesa's software device,
// which makes multisampled pbuffers where the surfaceless platform does not
// (Mesa 25).  Each display is initialised, with desktop GL bound.
std::vector<CandidateDisplay> candidate_displays() {
  std::vector<CandidateDisplay> found, software;
  const char* client_extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  PFNEGLGETPLATFORMDISPLAYEXTPROC get_platform_display = nullptr;
  if (!has_extension(client_extensions, "EGL_EXT_platform_base") || !look_up(get_platform_display, "eglGetPlatformDisplayEXT"))
    return found;
  auto add = [&](std::vector<CandidateDisplay>& list, EGLenum platform, void* native, const std::string& name) {
    EGLDisplay display = get_platform_display(platform, native, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) return;
    if (!eglBindAPI(EGL_OPENGL_API)) return;
    list.push_back({display, name});
  };
  PFNEGLQUERYDEVICESEXTPROC query_devices = nullptr;
  PFNEGLQUERYDEVICESTRINGEXTPROC query_device_string = nullptr;
  if (has_extension(client_extensions, "EGL_EXT_platform_device") && look_up(query_devices, "eglQueryDevicesEXT") &&
      look_up(query_device_string, "eglQueryDeviceStringEXT")) {
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (query_devices(16, devices, &count)) {
      for (EGLint i = 0; i < count; ++i) {
        const bool is_software = has_extension(query_device_string(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software");
        add(is_software ? software : found, EGL_PLATFORM_DEVICE_EXT, devices[i],
            is_software ? "Mesa's software device" : "EGL device " + std::to_string(i));
      }
    }
  }
  if (has_extension(client_extensions, "EGL_MESA_platform_surfaceless"))
    add(found, EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, "Mesa's surfaceless platform");
  found.insert(found.end(), software.begin(), software.end());
  return found;
}

uint32_t make_framebuffer(int32_t width, int32_t height, int32_t samples) {
  GLuint framebuffer = 0, colour = 0, depth_stencil = 0;
  gen_framebuffers(1, &framebuffer);
  bind_framebuffer(GL_FRAMEBUFFER, framebuffer);
  gen_renderbuffers(1, &colour);
  bind_renderbuffer(GL_RENDERBUFFER, colour);
  renderbuffer_storage_multisample(GL_RENDERBUFFER, samples, GL_RGBA8, width, height);
  framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
  gen_renderbuffers(1, &depth_stencil);
  bind_renderbuffer(GL_RENDERBUFFER, depth_stencil);
  renderbuffer_storage_multisample(GL_RENDERBUFFER, samples, GL_DEPTH24_STENCIL8, width, height);
  framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth_stencil);
  const bool complete = check_framebuffer_status(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  return complete ? framebuffer : 0;
}

// The framebuffer objects to draw into and resolve from, when the context
// has no surface of its own; false with the reason.
bool make_framebuffers(OffscreenTarget& target, std::string& why) {
  if (!look_up(gen_framebuffers, "glGenFramebuffers") || !look_up(bind_framebuffer, "glBindFramebuffer") ||
      !look_up(gen_renderbuffers, "glGenRenderbuffers") || !look_up(bind_renderbuffer, "glBindRenderbuffer") ||
      !look_up(renderbuffer_storage_multisample, "glRenderbufferStorageMultisample") ||
      !look_up(framebuffer_renderbuffer, "glFramebufferRenderbuffer") ||
      !look_up(check_framebuffer_status, "glCheckFramebufferStatus") ||
      !look_up(blit_framebuffer, "glBlitFramebuffer"))
    return why = "no framebuffer objects", false;
  GLint max_samples = 0, max_size = 0;
  glGetIntegerv(GL_MAX_SAMPLES, &max_samples);
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
  if (target.samples > max_samples) return why = "at most " + std::to_string(max_samples) + " samples", false;
  if (target.width > max_size || target.height > max_size)
    return why = "at most " + std::to_string(max_size) + " pixels a side", false;
  target.resolve_buffer = make_framebuffer(target.width, target.height, 0);
  target.draw_buffer =
      target.samples > 1 ? make_framebuffer(target.width, target.height, target.samples) : target.resolve_buffer;
  if (!target.resolve_buffer || !target.draw_buffer)
    return why = "no complete " + size_text(target.width, target.height) + " framebuffer with " +
                 std::to_string(target.samples) + " samples and a stencil buffer", false;
  bind_framebuffer(GL_FRAMEBUFFER, target.draw_buffer);
  return true;
}

// Whether the framebuffer is what the show needs and reads back what is
// drawn into it: its real size, samples and stencil, and a cleared colour
// read back whole, with no GL error on the way.  Drivers have made
// surfaces that draw and read nothing while saying they succeeded.
bool check_framebuffer(const OffscreenTarget& target, std::string& why) {
  const GLenum code = glGetError();
  if (code != GL_NO_ERROR) return why = "reports " + gl_error_name(code) + " after set-up", false;
  if (target.surface != EGL_NO_SURFACE) {
    EGLint width = 0, height = 0;
    eglQuerySurface(target.display, target.surface, EGL_WIDTH, &width);
    eglQuerySurface(target.display, target.surface, EGL_HEIGHT, &height);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);  // GL sizes it to the surface when first made current
    if (width != target.width || height != target.height || viewport[2] != target.width || viewport[3] != target.height)
      return why = "the pbuffer is " + size_text(width, height) + " and draws " + size_text(viewport[2], viewport[3]) +
                   ", not " + size_text(target.width, target.height), false;
  }
  GLint samples = 0, stencil = 0;
  glGetIntegerv(GL_SAMPLES, &samples);
  glGetIntegerv(GL_STENCIL_BITS, &stencil);
  if (samples != (target.samples > 1 ? target.samples : 0))
    return why = "draws with " + std::to_string(samples) + " samples, not " + std::to_string(target.samples), false;
  if (stencil < 8) return why = "has " + std::to_string(stencil) + " stencil bits, not 8", false;

  glViewport(0, 0, target.width, target.height);
  glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  std::vector<uint8_t> rgba(size_t(target.width) * size_t(target.height) * 4);
  if (!read_offscreen(target, rgba.data(), why)) return false;
  for (size_t i = 0; i < rgba.size(); i += 4) {
    const int red = rgba[i], green = rgba[i + 1], blue = rgba[i + 2];
    if (std::abs(red - 51) > 1 || std::abs(green - 102) > 1 || std::abs(blue - 153) > 1) {
      const size_t pixel = i / 4;
      return why = "cleared to (51, 102, 153) reads back (" + std::to_string(red) + ", " + std::to_string(green) + ", " +
                   std::to_string(blue) + ") at pixel " + std::to_string(pixel % size_t(target.width)) + ", " +
                   std::to_string(pixel / size_t(target.width)), false;
    }
  }
  glClearColor(0, 0, 0, 0);
  return true;
}

}  // namespace

bool open_offscreen(int32_t width, int32_t height, int32_t samples, OffscreenTarget& target, std::string& error) {
  target = {};
  target.width = width;
  target.height = height;
  target.samples = samples;
  const std::vector<CandidateDisplay> displays = candidate_displays();
  if (displays.empty()) {
    error = "no usable OpenGL: EGL offers neither a GPU device nor Mesa's surfaceless platform or software device";
    return false;
  }
  // A window-like pbuffer on any display first, as it rasterises as the
  // intro's window does; framebuffer objects only where no pbuffer works.
  std::string reasons;
  for (const bool pbuffer : {true, false}) {
    for (const CandidateDisplay& candidate : displays) {
      std::string why;
      target.draw_buffer = target.resolve_buffer = 0;
      if (make_context(candidate.display, pbuffer, target, why)) {
        const bool usable = (pbuffer || make_framebuffers(target, why)) && check_framebuffer(target, why);
        if (usable) return true;
        why = target.renderer + ": " + why;
        release_context(target);
      }
      reasons += std::string(reasons.empty() ? "" : "; ") + candidate.name + (pbuffer ? ", pbuffer: " : ", framebuffer object: ") + why;
    }
  }
  error = "cannot draw a " + size_text(width, height) + " picture with " + std::to_string(samples) +
          " samples offscreen (" + reasons + ")";
  return false;
}

bool read_offscreen(const OffscreenTarget& target, uint8_t* rgba, std::string& error) {
  // A read that stores nothing leaves every alpha at 0, which no frame of the
  // show has: each clears to opaque black and blends over it.
  const size_t bytes = size_t(target.width) * size_t(target.height) * 4;
  std::memset(rgba, 0, bytes);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  if (target.surface != EGL_NO_SURFACE) {
    // Reading a multisampled window-system framebuffer resolves it, as the intro's own would.
    glReadPixels(0, 0, target.width, target.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  } else {
    if (target.draw_buffer != target.resolve_buffer) {
      bind_framebuffer(GL_READ_FRAMEBUFFER, target.draw_buffer);
      bind_framebuffer(GL_DRAW_FRAMEBUFFER, target.resolve_buffer);
      blit_framebuffer(0, 0, target.width, target.height, 0, 0, target.width, target.height, GL_COLOR_BUFFER_BIT,
                       GL_NEAREST);
    }
    bind_framebuffer(GL_FRAMEBUFFER, target.resolve_buffer);
    glReadPixels(0, 0, target.width, target.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    bind_framebuffer(GL_FRAMEBUFFER, target.draw_buffer);
  }
  const GLenum code = glGetError();
  if (code != GL_NO_ERROR) return error = "the frame does not read back: " + gl_error_name(code), false;
  for (size_t i = 3; i < bytes; i += 4)
    if (rgba[i] != 0) return true;
  return error = "the frame reads back empty (nothing drawn, every alpha 0)", false;
}
