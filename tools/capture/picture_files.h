// Pictures of the show as PNG files, and the small files that go with a
// video, written under a temporary name beside the target and renamed into
// place, so that a failed write never leaves a partial file under the name
// asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An RGB picture, rows top-down.
struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

// The picture from a glReadPixels frame: RGBA, bottom row first.
Picture picture_from_frame(const uint8_t* rgba, int32_t width, int32_t height);

// False with a one-line reason on failure; nothing is left behind then.
bool write_png(const Picture& picture, const std::string& path, std::string& error);

// The same for any bytes (a text file, say), readable by all.
bool write_file(const std::string& path, const std::string& bytes, std::string& error);

// Creates the folder if it is missing and checks that files can be made in it.
bool prepare_folder(const std::string& folder, std::string& error);

// Checks that a file can be made beside `path` (its folder exists and is writable).
bool check_writable_beside(const std::string& path, std::string& error);
