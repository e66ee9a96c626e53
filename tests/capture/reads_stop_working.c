/* Preloaded into capture_show by its tests: a driver whose glReadPixels
   stores nothing and reports no error once INTRO_GOOD_READS reads have
   gone through, as Mesa's multisampled surfaceless pbuffers did. */
#define _GNU_SOURCE
#include <GL/gl.h>
#include <dlfcn.h>
#include <stdlib.h>

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void* pixels) {
  static long good_reads = -1;
  if (good_reads < 0) good_reads = getenv("INTRO_GOOD_READS") ? atol(getenv("INTRO_GOOD_READS")) : 0;
  if (good_reads == 0) return;
  --good_reads;
  void (*real)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*) =
      (void (*)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*))dlsym(RTLD_NEXT, "glReadPixels");
  real(x, y, width, height, format, type, pixels);
}
