// The video encoder: a bounded queue of pre-allocated slots that the caller
// fills, and one thread that converts each picture (flipping it upright),
// buffers the sound into the audio encoder's frame size and muxes both.
#include "video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int sample_rate = 48000;
constexpr uint32_t queue_slots = 3;
// On 2 cores veryfast makes files about half the size of superfast's at about
// 2/3 of its speed; the slower presets cost far more time for little gain.
constexpr const char* x264_preset = "veryfast";

struct Slot {
  std::vector<uint8_t> rgba;
  std::vector<float> audio;  // interleaved stereo
  uint32_t audio_frames = 0;
};

}  // namespace

struct VideoEncoder {
  VideoSettings settings;
  std::string path, temp_path;

  // Owned by the encoder thread while it runs, by the caller's thread after.
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* video_stream = nullptr;
  AVStream* audio_stream = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* picture = nullptr;
  AVFrame* sound = nullptr;
  AVPacket* packet = nullptr;
  AVAudioFifo* fifo = nullptr;  // interleaved float, until a whole audio frame is there
  int audio_frame_size = 0;
  std::vector<float> interleaved;  // one audio frame read back from the fifo
  int64_t pictures = 0, samples_in = 0, samples_out = 0;

  std::thread thread;
  std::mutex mutex;
  std::condition_variable slot_filled, slot_freed;
  Slot slots[queue_slots];
  uint32_t head = 0, count = 0;  // slots[head] is the oldest queued
  bool finishing = false, abandoning = false, failed = false;
  std::string error;  // the first failure
};

int32_t flac_sample_from_float(float x) {
  if (std::isnan(x)) return 0;
  const double scaled = std::clamp(double(x) * 8388608.0, -8388608.0, 8388607.0);
  return int32_t(std::lround(scaled));
}

namespace {

std::string describe(const std::string& what, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return what + ": " + text;
}

// Records the reason; false, for returning at once.
bool fail(std::string& error, const std::string& reason) {
  error = reason;
  return false;
}

// Sends `frame` (null to flush) and writes every packet the encoder has ready.
bool encode(VideoEncoder& e, AVCodecContext* codec, AVStream* stream, const AVFrame* frame, std::string& error) {
  const char* failed = codec == e.video ? "video encoding failed" : "audio encoding failed";
  int result = avcodec_send_frame(codec, frame);
  if (result < 0) return fail(error, describe(failed, result));
  for (;;) {
    result = avcodec_receive_packet(codec, e.packet);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) return fail(error, describe(failed, result));
    // Each picture lasts one tick; the last one's duration sets the file's.
    if (codec == e.video && e.packet->duration == 0) e.packet->duration = 1;
    av_packet_rescale_ts(e.packet, codec->time_base, stream->time_base);
    e.packet->stream_index = stream->index;
    result = av_interleaved_write_frame(e.format, e.packet);
    if (result < 0) return fail(error, describe("writing the video file failed", result));
  }
}

// Encodes `samples` (at most one audio frame) from the fifo.
bool encode_sound(VideoEncoder& e, int samples, std::string& error) {
  int result = av_frame_make_writable(e.sound);
  if (result < 0) return fail(error, describe("out of memory for audio", result));
  void* data[1] = {e.interleaved.data()};
  if (av_audio_fifo_read(e.fifo, data, samples) != samples) return fail(error, "audio buffering failed");
  int frame_samples = samples;
  if (samples < e.audio_frame_size && !(e.audio->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
    std::fill(e.interleaved.begin() + 2 * samples, e.interleaved.end(), 0.0f);
    frame_samples = e.audio_frame_size;
  }
  e.sound->nb_samples = frame_samples;
  const float* in = e.interleaved.data();
  if (e.audio->sample_fmt == AV_SAMPLE_FMT_FLTP) {
    float* left = reinterpret_cast<float*>(e.sound->data[0]);
    float* right = reinterpret_cast<float*>(e.sound->data[1]);
    for (int i = 0; i < frame_samples; ++i) {
      left[i] = in[2 * i];
      right[i] = in[2 * i + 1];
    }
  } else {
    int32_t* out = reinterpret_cast<int32_t*>(e.sound->data[0]);
    for (int i = 0; i < 2 * frame_samples; ++i) out[i] = flac_sample_from_float(in[i]) * 256;
  }
  e.sound->pts = e.samples_out;
  e.samples_out += frame_samples;
  return encode(e, e.audio, e.audio_stream, e.sound, error);
}

bool encode_slot(VideoEncoder& e, Slot& slot, std::string& error) {
  int result = av_frame_make_writable(e.picture);
  if (result < 0) return fail(error, describe("out of memory for a picture", result));
  // A negative stride from the last row turns the bottom-up rows upright.
  const int stride = e.settings.width * 4;
  const uint8_t* rows[1] = {slot.rgba.data() + size_t(e.settings.height - 1) * size_t(stride)};
  const int strides[1] = {-stride};
  sws_scale(e.scaler, rows, strides, 0, e.settings.height, e.picture->data, e.picture->linesize);
  e.picture->pts = e.pictures++;
  if (!encode(e, e.video, e.video_stream, e.picture, error)) return false;

  void* audio[1] = {slot.audio.data()};
  const int frames = int(slot.audio_frames);
  if (frames > 0 && av_audio_fifo_write(e.fifo, audio, frames) != frames)
    return fail(error, "out of memory for audio");
  e.samples_in += slot.audio_frames;
  while (av_audio_fifo_size(e.fifo) >= e.audio_frame_size)
    if (!encode_sound(e, e.audio_frame_size, error)) return false;
  return true;
}

void run_encoder(VideoEncoder* e) {
  std::unique_lock lock(e->mutex);
  for (;;) {
    e->slot_filled.wait(lock, [e] { return e->count > 0 || e->finishing || e->abandoning; });
    if (e->abandoning || e->count == 0) return;
    Slot& slot = e->slots[e->head];
    const bool skip = e->failed;  // after a failure the queue is only drained
    lock.unlock();
    std::string error;
    const bool ok = skip || encode_slot(*e, slot, error);
    lock.lock();
    if (!ok) {
      e->failed = true;
      e->error = error;
    }
    e->head = (e->head + 1) % queue_slots;
    --e->count;
    e->slot_freed.notify_one();
  }
}

// Pads the sound with silence up to the end of the last picture, then
// empties the fifo and both encoders.
bool flush(VideoEncoder& e, std::string& error) {
  const int64_t end = e.pictures * sample_rate / e.settings.fps;
  std::fill(e.interleaved.begin(), e.interleaved.end(), 0.0f);
  void* silence[1] = {e.interleaved.data()};
  while (e.samples_in < end) {
    const int n = int(std::min<int64_t>(end - e.samples_in, e.audio_frame_size));
    if (av_audio_fifo_write(e.fifo, silence, n) != n) return fail(error, "out of memory for audio");
    e.samples_in += n;
  }
  while (av_audio_fifo_size(e.fifo) > 0)
    if (!encode_sound(e, std::min(av_audio_fifo_size(e.fifo), e.audio_frame_size), error)) return false;
  return encode(e, e.audio, e.audio_stream, nullptr, error) && encode(e, e.video, e.video_stream, nullptr, error);
}

bool add_chapter(AVFormatContext* format, AVRational time_base, int64_t start, int64_t end, const std::string& title) {
  AVChapter* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
  void* grown = chapter ? av_realloc_array(format->chapters, format->nb_chapters + 1, sizeof(AVChapter*)) : nullptr;
  if (!grown) {
    av_free(chapter);
    return false;
  }
  format->chapters = static_cast<AVChapter**>(grown);
  format->chapters[format->nb_chapters++] = chapter;
  chapter->id = format->nb_chapters;
  chapter->time_base = time_base;
  chapter->start = start;
  chapter->end = end;
  return av_dict_set(&chapter->metadata, "title", title.c_str(), 0) >= 0;
}

// The chapters, timed in pictures.  Added after the header, they go out
// with the trailer: MP4 as a chapter track and a Nero chapter list, Matroska
// as its Chapters element.
bool add_chapters(VideoEncoder& e, const std::vector<Chapter>& chapters, std::string& error) {
  for (size_t i = 0; i < chapters.size(); ++i) {
    const int64_t end = i + 1 < chapters.size() ? chapters[i + 1].frame : e.pictures;
    if (!add_chapter(e.format, AVRational{1, e.settings.fps}, chapters[i].frame, end, chapters[i].title))
      return fail(error, "out of memory for the chapters");
  }
  return true;
}

AVStream* add_stream(VideoEncoder& e, AVCodecContext* codec, std::string& error) {
  AVStream* stream = avformat_new_stream(e.format, nullptr);
  int result = stream ? avcodec_parameters_from_context(stream->codecpar, codec) : AVERROR(ENOMEM);
  if (result < 0) {
    error = describe("cannot add a stream", result);
    return nullptr;
  }
  stream->time_base = codec->time_base;
  return stream;
}

AVCodecContext* open_codec(const char* name, const AVFormatContext* format, std::string& error,
                           void (*configure)(AVCodecContext*, const VideoSettings&), const VideoSettings& settings) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (!codec) {
    error = std::string("the ") + name + " encoder is not available";
    return nullptr;
  }
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (!context) {
    error = "out of memory";
    return nullptr;
  }
  configure(context, settings);
  if (format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int result = avcodec_open2(context, codec, nullptr);
  if (result < 0) {
    error = describe(std::string("cannot open the ") + name + " encoder", result);
    avcodec_free_context(&context);
  }
  return context;
}

void configure_video(AVCodecContext* c, const VideoSettings& s) {
  c->width = s.width;
  c->height = s.height;
  c->time_base = AVRational{1, s.fps};
  c->framerate = AVRational{s.fps, 1};
  if (s.lossless) {
    c->pix_fmt = AV_PIX_FMT_BGR0;
    c->colorspace = AVCOL_SPC_RGB;
    // FFV1's slice threads race on a shared buffer (seen by ThreadSanitizer) and gave no speed here.
    c->thread_count = 1;
    c->level = 3;
    c->slices = 4;
  } else {
    c->thread_count = 0;  // as many as there are cores
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_range = AVCOL_RANGE_MPEG;
    av_opt_set(c->priv_data, "preset", x264_preset, 0);
    av_opt_set(c->priv_data, "crf", "18", 0);
  }
}

void configure_audio(AVCodecContext* c, const VideoSettings& s) {
  c->sample_rate = sample_rate;
  c->time_base = AVRational{1, sample_rate};
  av_channel_layout_default(&c->ch_layout, 2);
  if (s.lossless) {
    c->sample_fmt = AV_SAMPLE_FMT_S32;
    c->bits_per_raw_sample = 24;
  } else {
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->bit_rate = 192000;
  }
}

bool open_output(VideoEncoder& e, std::string& error) {
  const VideoSettings& s = e.settings;
  const char* container = s.lossless ? "matroska" : "mp4";
  int result = avformat_alloc_output_context2(&e.format, nullptr, container, e.temp_path.c_str());
  if (result < 0) return fail(error, describe("cannot set up the container", result));
  e.video = open_codec(s.lossless ? "ffv1" : "libx264", e.format, error, configure_video, s);
  if (!e.video) return false;
  e.audio = open_codec(s.lossless ? "flac" : "aac", e.format, error, configure_audio, s);
  if (!e.audio) return false;
  e.video_stream = add_stream(e, e.video, error);
  e.audio_stream = e.video_stream ? add_stream(e, e.audio, error) : nullptr;
  if (!e.audio_stream) return false;
  e.video_stream->avg_frame_rate = e.video_stream->r_frame_rate = AVRational{s.fps, 1};

  e.scaler = sws_getContext(s.width, s.height, AV_PIX_FMT_RGBA, s.width, s.height, e.video->pix_fmt, SWS_BILINEAR,
                            nullptr, nullptr, nullptr);
  if (!e.scaler) return fail(error, "cannot set up the picture conversion");
  if (!s.lossless) {
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(e.scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
  }

  e.audio_frame_size = e.audio->frame_size > 0 ? e.audio->frame_size : 1024;
  e.interleaved.resize(2 * size_t(e.audio_frame_size));
  e.picture = av_frame_alloc();
  e.sound = av_frame_alloc();
  e.packet = av_packet_alloc();
  e.fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, 2, 4 * e.audio_frame_size);
  if (!e.picture || !e.sound || !e.packet || !e.fifo) return fail(error, "out of memory");
  e.picture->format = e.video->pix_fmt;
  e.picture->width = s.width;
  e.picture->height = s.height;
  e.sound->format = e.audio->sample_fmt;
  e.sound->sample_rate = sample_rate;
  e.sound->nb_samples = e.audio_frame_size;
  av_channel_layout_copy(&e.sound->ch_layout, &e.audio->ch_layout);
  if ((result = av_frame_get_buffer(e.picture, 0)) < 0 || (result = av_frame_get_buffer(e.sound, 0)) < 0)
    return fail(error, describe("out of memory", result));

  if ((result = avio_open(&e.format->pb, e.temp_path.c_str(), AVIO_FLAG_WRITE)) < 0)
    return fail(error, describe("cannot write " + e.temp_path, result));
  AVDictionary* options = nullptr;
  if (!s.lossless) av_dict_set(&options, "movflags", "+faststart", 0);  // index first, for web playback
  result = avformat_write_header(e.format, &options);
  av_dict_free(&options);
  if (result < 0) return fail(error, describe("cannot write the video file's header", result));
  return true;
}

void release(VideoEncoder& e) {
  sws_freeContext(e.scaler);
  e.scaler = nullptr;
  av_frame_free(&e.picture);
  av_frame_free(&e.sound);
  av_packet_free(&e.packet);
  if (e.fifo) av_audio_fifo_free(e.fifo);
  e.fifo = nullptr;
  avcodec_free_context(&e.video);
  avcodec_free_context(&e.audio);
  if (e.format) {
    avio_closep(&e.format->pb);
    avformat_free_context(e.format);
    e.format = nullptr;
  }
}

// Creates the temporary file with O_EXCL, so that it is never someone else's
// and gets the same permissions as any new file.
bool create_temp_file(VideoEncoder& e, std::string& error) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = e.path + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      e.temp_path = std::move(name);
      return true;
    }
    if (errno != EEXIST) return fail(error, "cannot create " + name + ": " + std::strerror(errno));
  }
  return fail(error, "cannot create a temporary file beside " + e.path);
}

}  // namespace

VideoEncoder* open_video_encoder(const char* path, const VideoSettings& settings, std::string& error) {
  VideoEncoder* e = new VideoEncoder;
  e->settings = settings;
  e->path = path;
  if (!create_temp_file(*e, error)) {
    delete e;
    return nullptr;
  }
  if (!open_output(*e, error)) {
    const std::string temp_path = e->temp_path;
    release(*e);
    std::remove(temp_path.c_str());
    delete e;
    return nullptr;
  }
  const size_t audio_room = 2 * size_t(sample_rate / settings.fps + 1);
  for (Slot& slot : e->slots) {
    slot.rgba.resize(size_t(settings.width) * size_t(settings.height) * 4);
    slot.audio.reserve(audio_room);
  }
  e->thread = std::thread(run_encoder, e);
  return e;
}

bool encode_frame(VideoEncoder* e, const uint8_t* rgba, const float* audio, uint32_t audio_frames) {
  std::unique_lock lock(e->mutex);
  e->slot_freed.wait(lock, [e] { return e->count < queue_slots || e->failed; });
  if (e->failed) return false;
  // The tail slot is the caller's until it is counted in.
  Slot& slot = e->slots[(e->head + e->count) % queue_slots];
  lock.unlock();
  std::memcpy(slot.rgba.data(), rgba, slot.rgba.size());
  slot.audio.assign(audio, audio + 2 * size_t(audio_frames));
  slot.audio_frames = audio_frames;
  lock.lock();
  ++e->count;
  e->slot_filled.notify_one();
  return true;
}

bool finish_video(VideoEncoder* e, const std::vector<Chapter>& chapters, std::string& error) {
  {
    std::lock_guard lock(e->mutex);
    e->finishing = true;
  }
  e->slot_filled.notify_one();
  e->thread.join();
  bool ok = !e->failed;
  if (!ok) error = e->error;
  ok = ok && flush(*e, error) && add_chapters(*e, chapters, error);  // the thread has ended: its state is ours now
  if (ok) {
    const int result = av_write_trailer(e->format);
    if (result < 0) error = describe("cannot finish the video file", result);
    ok = result >= 0;
  }
  if (ok) {
    avio_flush(e->format->pb);
    const int result = e->format->pb->error < 0 ? e->format->pb->error : avio_closep(&e->format->pb);
    if (result < 0) error = describe("writing the video file failed", result);
    ok = result >= 0;
  }
  const std::string temp_path = e->temp_path, path = e->path;
  release(*e);
  delete e;
  if (ok && std::rename(temp_path.c_str(), path.c_str()) != 0) {
    error = "cannot rename " + temp_path + " to " + path + ": " + std::strerror(errno);
    ok = false;
  }
  if (!ok) std::remove(temp_path.c_str());
  return ok;
}

void abandon_video(VideoEncoder* e) {
  {
    std::lock_guard lock(e->mutex);
    e->abandoning = true;
  }
  e->slot_filled.notify_one();
  e->thread.join();
  const std::string temp_path = e->temp_path;
  release(*e);
  delete e;
  std::remove(temp_path.c_str());
}
