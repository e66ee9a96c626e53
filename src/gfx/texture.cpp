// BMP pictures to GL textures.  stb_image is built here, for BMP alone: the
// show embeds nothing else.
#include "texture.h"

#include <GL/gl.h>

#include <cstdlib>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#include <stb_image.h>

Texture* load_texture_bmp(const unsigned char* data, int32_t byte_size, int32_t min_filter,
                          int32_t mag_filter, int32_t wrap_s, int32_t wrap_t) {
  Texture* texture = static_cast<Texture*>(std::calloc(1, sizeof(Texture)));
  if (!texture) return nullptr;

  // GL takes rows bottom-up; the flip makes picture row 0 the top of the texture.
  // It is set back at once, so that other readers of stb get pictures as stored.
  stbi_set_flip_vertically_on_load(1);
  int channels = 0;  // as the file has them; the pixels come as RGB whatever it says
  unsigned char* pixels = stbi_load_from_memory(data, byte_size, &texture->width, &texture->height, &channels, 3);
  stbi_set_flip_vertically_on_load(0);
  if (!pixels) {
    std::free(texture);
    return nullptr;
  }

  GLuint id = 0;
  glGenTextures(1, &id);
  if (id == 0) {
    stbi_image_free(pixels);
    std::free(texture);
    return nullptr;
  }
  texture->id = id;

  glBindTexture(GL_TEXTURE_2D, id);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag_filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap_s);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap_t);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, texture->width, texture->height, 0, GL_RGB,
               GL_UNSIGNED_BYTE, pixels);
  stbi_image_free(pixels);
  return texture;
}
