// Writing the rendered show to a video file through FFmpeg's libraries, for
// capture_show: H.264 + AAC in MP4 to share, or FFV1 + FLAC in Matroska when
// every pixel and sample must survive.  Encoding runs on its own thread so
// that it overlaps the rendering of the next frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chapters.h"

struct VideoEncoder;  // opaque

struct VideoSettings {
  int32_t width, height;  // even sizes; the caller checks
  int32_t fps;            // 24..240
  bool lossless;          // false: MP4, H.264 (yuv420p, BT.709) + AAC; true: Matroska, FFV1 (RGB) + FLAC
};

// Opens the encoder, writing to a temporary file beside `path` (same folder,
// so the final rename is atomic).  Null on failure, with a one-line reason in
// `error`; nothing is left on disk then.
VideoEncoder* open_video_encoder(const char* path, const VideoSettings& settings, std::string& error);

// Queues one picture and the audio that plays during it.  `rgba` holds
// width*height*4 bytes, bottom row first (as glReadPixels returns it);
// `audio` holds `audio_frames` stereo frames (left, right floats at 48 kHz),
// possibly none.  Both are copied, so the caller may reuse its buffers at
// once.  Blocks only while the small queue is full.  False once encoding has
// failed; finish_video or abandon_video then gives the reason or cleans up.
bool encode_frame(VideoEncoder* encoder, const uint8_t* rgba, const float* audio, uint32_t audio_frames);

// Encodes what is queued, pads the sound with silence if it ends before the
// pictures, writes the chapters (each until the next begins, the last until
// the last picture ends), closes, and renames the temporary file to `path`.
// False with a reason on failure; the temporary file is then removed and
// `path` left untouched.  Frees the encoder either way.
bool finish_video(VideoEncoder* encoder, const std::vector<Chapter>& chapters, std::string& error);

// Stops at once, removes the temporary file and frees the encoder.
void abandon_video(VideoEncoder* encoder);

// FLAC's 24-bit sample for a float sample: x * 2^23 rounded to nearest
// (halves away from zero), clamped to [-8388608, 8388607]; NaN gives 0.
// The file holds it shifted left by 8, as FFmpeg's s32 layout wants.
int32_t flac_sample_from_float(float x);
