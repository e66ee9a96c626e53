// The offscreen context (see offscreen_gl.h).  The framebuffer functions are
// newer than the GL 1.x headers promise, so they are looked up at run time.
#include "offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

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

// A desktop GL context on the display, current on a window-like pbuffer where
// one is offered, else with no surface; false on failure.
bool make_context(EGLDisplay display, OffscreenTarget& target) {
  EGLint major = 0, minor = 0;
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) return false;
  if (!eglBindAPI(EGL_OPENGL_API)) return false;
  EGLConfig config = window_like_config(display, target.samples);
  EGLSurface surface = EGL_NO_SURFACE;
  if (config) {
    const EGLint size[] = {EGL_WIDTH, target.width, EGL_HEIGHT, target.height, EGL_NONE};
    surface = eglCreatePbufferSurface(display, config, size);
  }
  if (surface == EGL_NO_SURFACE) {
    // Any surface type: no surface is made (surfaceless Mesa offers no window configs).
    const EGLint attributes[] = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, attributes, &config, 1, &count) || count < 1) return false;
  }
  // The show is fixed-function GL 1.x: a compatibility context of any version serves.
  const EGLint context_attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 1, EGL_CONTEXT_MINOR_VERSION, 1, EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attributes);
  if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, surface, surface, context)) {
    if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    return false;
  }
  target.display = display;
  target.context = context;
  target.surface = surface;
  return true;
}

// A GPU driver's device first (the point of having one); Mesa's software
// device is skipped there, as surfaceless Mesa gives the same renderer.
bool open_context(OffscreenTarget& target) {
  const char* client_extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  PFNEGLGETPLATFORMDISPLAYEXTPROC get_platform_display = nullptr;
  if (!has_extension(client_extensions, "EGL_EXT_platform_base") || !look_up(get_platform_display, "eglGetPlatformDisplayEXT"))
    return false;
  PFNEGLQUERYDEVICESEXTPROC query_devices = nullptr;
  PFNEGLQUERYDEVICESTRINGEXTPROC query_device_string = nullptr;
  if (has_extension(client_extensions, "EGL_EXT_platform_device") && look_up(query_devices, "eglQueryDevicesEXT") &&
      look_up(query_device_string, "eglQueryDeviceStringEXT")) {
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (query_devices(16, devices, &count)) {
      for (EGLint i = 0; i < count; ++i) {
        if (has_extension(query_device_string(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software")) continue;
        EGLDisplay display = get_platform_display(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        if (make_context(display, target)) return true;
        if (display != EGL_NO_DISPLAY) eglTerminate(display);
      }
    }
  }
  if (!has_extension(client_extensions, "EGL_MESA_platform_surfaceless")) return false;
  EGLDisplay display = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  return make_context(display, target);
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

}  // namespace

bool open_offscreen(int32_t width, int32_t height, int32_t samples, OffscreenTarget& target, std::string& error) {
  target = {};
  target.width = width;
  target.height = height;
  target.samples = samples;
  if (!open_context(target)) {
    error = "no usable OpenGL: EGL offers neither a GPU device nor Mesa's surfaceless platform with desktop GL";
    return false;
  }
  target.renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  glViewport(0, 0, width, height);
  if (target.surface != EGL_NO_SURFACE) return true;
  if (!look_up(gen_framebuffers, "glGenFramebuffers") || !look_up(bind_framebuffer, "glBindFramebuffer") ||
      !look_up(gen_renderbuffers, "glGenRenderbuffers") || !look_up(bind_renderbuffer, "glBindRenderbuffer") ||
      !look_up(renderbuffer_storage_multisample, "glRenderbufferStorageMultisample") ||
      !look_up(framebuffer_renderbuffer, "glFramebufferRenderbuffer") ||
      !look_up(check_framebuffer_status, "glCheckFramebufferStatus") ||
      !look_up(blit_framebuffer, "glBlitFramebuffer")) {
    error = "no usable OpenGL: " + target.renderer + " has no framebuffer objects";
    return false;
  }
  GLint max_samples = 0;
  glGetIntegerv(GL_MAX_SAMPLES, &max_samples);
  if (samples > max_samples) {
    error = target.renderer + " offers at most " + std::to_string(max_samples) + " samples";
    return false;
  }
  GLint max_size = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &max_size);
  if (width > max_size || height > max_size) {
    error = target.renderer + " draws at most " + std::to_string(max_size) + " pixels a side";
    return false;
  }
  target.resolve_buffer = make_framebuffer(width, height, 0);
  target.draw_buffer = samples > 1 ? make_framebuffer(width, height, samples) : target.resolve_buffer;
  if (!target.resolve_buffer || !target.draw_buffer) {
    error = "no usable OpenGL: " + target.renderer + " cannot make a " + std::to_string(width) + "x" +
            std::to_string(height) + " framebuffer with " + std::to_string(samples) + " samples and a stencil buffer";
    return false;
  }
  bind_framebuffer(GL_FRAMEBUFFER, target.draw_buffer);
  return true;
}

void read_offscreen(const OffscreenTarget& target, uint8_t* rgba) {
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  if (target.surface != EGL_NO_SURFACE) {
    // Reading a multisampled window-system framebuffer resolves it, as the intro's own would.
    glReadPixels(0, 0, target.width, target.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return;
  }
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
