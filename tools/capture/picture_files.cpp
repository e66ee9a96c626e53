// PNG files of the show's pictures (see picture_files.h), through stb_image_write.
#include "picture_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace {

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A new empty file beside `path`, open for writing; -1 with the reason on failure.
int make_temporary_beside(const std::string& path, std::string& temporary, std::string& error) {
  temporary = path + ".partial-XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) {
    error = "cannot write in " + folder_of(path) + ": " + std::strerror(errno);
    return -1;
  }
  temporary = name.data();
  return descriptor;
}

void append_bytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

}  // namespace

Picture picture_from_frame(const uint8_t* rgba, int32_t width, int32_t height) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.rgb.resize(size_t(width) * size_t(height) * 3);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* from = rgba + size_t(height - 1 - y) * size_t(width) * 4;
    uint8_t* to = &picture.rgb[size_t(y) * size_t(width) * 3];
    for (int32_t x = 0; x < width; ++x) {
      to[3 * x] = from[4 * x];
      to[3 * x + 1] = from[4 * x + 1];
      to[3 * x + 2] = from[4 * x + 2];
    }
  }
  return picture;
}

bool write_file(const std::string& path, const std::string& bytes, std::string& error) {
  std::string temporary;
  const int descriptor = make_temporary_beside(path, temporary, error);
  if (descriptor < 0) return false;
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t step = write(descriptor, bytes.data() + written, bytes.size() - written);
    if (step <= 0) break;
    written += size_t(step);
  }
  const bool complete = written == bytes.size();
  const int saved_errno = errno;
  // mkstemp makes the file private; what the capture writes is for others to see.
  fchmod(descriptor, 0644);
  if (close(descriptor) != 0 || !complete || std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(complete ? errno : saved_errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

bool write_png(const Picture& picture, const std::string& path, std::string& error) {
  std::string bytes;
  if (!stbi_write_png_to_func(append_bytes, &bytes, picture.width, picture.height, 3, picture.rgb.data(),
                              picture.width * 3)) {
    error = "cannot encode " + path;
    return false;
  }
  return write_file(path, bytes, error);
}

bool prepare_folder(const std::string& folder, std::string& error) {
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    error = "cannot make " + folder + ": " + std::strerror(errno);
    return false;
  }
  struct stat status;
  if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    error = folder + " is not a folder";
    return false;
  }
  return check_writable_beside(folder + "/still", error);
}

bool check_writable_beside(const std::string& path, std::string& error) {
  std::string temporary;
  const int descriptor = make_temporary_beside(path, temporary, error);
  if (descriptor < 0) return false;
  close(descriptor);
  unlink(temporary.c_str());
  return true;
}
