// Mixer: no interpolation, no ramping, no clipping.  Between two ticks only
// the positions change, so a block of frames up to the next tick is mixed
// into a zeroed buffer in passes of up to four channels; each frame still
// adds its channels one by one in channel order, so the floats equal a
// frame-by-frame mix bit for bit.
#include "mixer.h"

#include "replayer.h"
#include "sequencing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A sample frame's value is frame / 32768, and each channel is mixed at a
// quarter of it; both are powers of two, so folding them into the gain is
// exact.
constexpr float channel_scale = 1.0f / 131072.0f;

// Loading promises these; a sample that breaks them stays silent instead of
// reading outside the pool.
bool sample_is_playable(const ModuleContext& song, const Sample& sample) {
  if (sample.length >= (1u << 20) || sample.loop_length > sample.length) return false;
  if (uint64_t(sample.data_offset) + sample.length > song.sample_data_length) return false;
  return !sample.ping_pong || uint64_t(sample.length) + sample.loop_length < (1u << 20);
}

// Frames from `position` on, at most `limit`, whose positions stay below
// `bound` (one division per run of frames, not per frame).
uint32_t frames_below(uint32_t position, uint32_t bound, uint32_t step, uint32_t limit) {
  if (step == 0) return limit;
  const uint32_t frames = uint32_t((uint64_t(bound - position) + step - 1) / step);
  return std::min(frames, limit);
}

// A channel as the mixing loops see it during one block.
struct Voice {
  ChannelState* channel;
  const int16_t* data;
  uint32_t end, loop_start, loop_span, wrap_at;
  uint32_t position, step;
  float left, right;
  bool loops, ended;
  // The current run reads frame run_position >> 12, advancing by run_step.
  // In the backward half of a ping-pong loop both are mirrored: for
  // position j x 4096 + r, mirror_base - position is (2 x length - 1 - j) x
  // 4096 + 4095 - r, so the mirrored frame is read with the same shift.
  uint32_t run_position, run_step;
  bool backward;
  uint32_t mirror_base;
};

bool start_voice(const ModuleContext& song, ChannelState& channel, Voice& voice) {
  const Sample* sample = channel.sample;
  if (!sample || channel.past_end || !sample_is_playable(song, *sample)) return false;
  voice.channel = &channel;
  voice.data = song.sample_data + sample->data_offset;
  voice.end = sample->length << 12;
  voice.loop_start = (sample->length - sample->loop_length) << 12;
  voice.loop_span = sample->loop_length << (sample->ping_pong ? 13 : 12);
  voice.wrap_at = voice.loop_start + voice.loop_span;
  voice.mirror_base = ((2 * sample->length) << 12) - 1;  // modulo 2^32, as used
  voice.position = channel.position;
  voice.step = channel.step;
  voice.left = channel.gain_left * channel_scale;
  voice.right = channel.gain_right * channel_scale;
  voice.loops = sample->loop_length != 0;
  voice.ended = false;
  return true;
}

// Brings the position back into the loop when it has passed the end, sets
// up the run in the half it is in and returns how many frames that run may
// last; marks the voice ended (silent, position kept) past a sample end.
uint32_t begin_run(Voice& voice, uint32_t limit) {
  if (voice.position >= voice.end) {
    if (!voice.loops) {
      voice.ended = true;
      return 0;
    }
    if (voice.position >= voice.wrap_at) {
      uint32_t offset = voice.position - voice.wrap_at;
      if (offset >= voice.loop_span) offset %= voice.loop_span;
      voice.position = voice.loop_start + offset;
    }
  }
  voice.backward = voice.position >= voice.end;
  if (!voice.backward) {
    voice.run_position = voice.position;
    voice.run_step = voice.step;
    return frames_below(voice.position, voice.end, voice.step, limit);
  }
  voice.run_position = voice.mirror_base - voice.position;
  voice.run_step = 0u - voice.step;
  return frames_below(voice.position, voice.wrap_at, voice.step, limit);
}

void end_run(Voice& voice) {
  voice.position = voice.backward ? voice.mirror_base - voice.run_position : voice.run_position;
}

// The inner loop: `N` voices, none meeting a boundary within `frames`, each
// frame read and written once and its channels added in channel order.
template <int N>
void mix_run(Voice* const* voices, float* out, uint32_t frames) {
  const int16_t* data[N];
  uint32_t position[N], step[N];
  float left[N], right[N];
  for (int v = 0; v < N; v++) {
    data[v] = voices[v]->data;
    position[v] = voices[v]->run_position;
    step[v] = voices[v]->run_step;
    left[v] = voices[v]->left;
    right[v] = voices[v]->right;
  }
  uint32_t f = 0;
#if defined(__SSE2__)
  // Four frames at a time: each sample value goes into the upper half of a
  // 32-bit lane, so the conversion yields value x 65536 exactly and the gain
  // carries the matching 2^-16; every lane still rounds the same product
  // and adds it to the same running sum as the scalar loop below.
  __m128 gains[N];
  for (int v = 0; v < N; v++) {
    gains[v] = _mm_mul_ps(_mm_setr_ps(left[v], right[v], left[v], right[v]),
                          _mm_set1_ps(1.0f / 65536.0f));
  }
  for (; f + 4 <= frames; f += 4) {
    __m128 first = _mm_loadu_ps(out), second = _mm_loadu_ps(out + 4);
#pragma GCC unroll 4
    for (int v = 0; v < N; v++) {
      const uint32_t p = position[v], s = step[v];
      __m128i words = _mm_setzero_si128();
      words = _mm_insert_epi16(words, data[v][p >> 12], 1);
      words = _mm_insert_epi16(words, data[v][(p + s) >> 12], 3);
      words = _mm_insert_epi16(words, data[v][(p + 2 * s) >> 12], 5);
      words = _mm_insert_epi16(words, data[v][(p + 3 * s) >> 12], 7);
      position[v] = p + 4 * s;
      const __m128 values = _mm_cvtepi32_ps(words);
      first = _mm_add_ps(first, _mm_mul_ps(_mm_unpacklo_ps(values, values), gains[v]));
      second = _mm_add_ps(second, _mm_mul_ps(_mm_unpackhi_ps(values, values), gains[v]));
    }
    _mm_storeu_ps(out, first);
    _mm_storeu_ps(out + 4, second);
    out += 8;
  }
#endif
  for (; f < frames; f++) {
    float l = out[0], r = out[1];
#pragma GCC unroll 4
    for (int v = 0; v < N; v++) {
      const float value = float(data[v][position[v] >> 12]);
      l = l + value * left[v];
      r = r + value * right[v];
      position[v] += step[v];
    }
    out[0] = l;
    out[1] = r;
    out += 2;
  }
  for (int v = 0; v < N; v++) voices[v]->run_position = position[v];
}

constexpr uint32_t voices_per_pass = 4;

// Mixes up to four consecutive voices together, in runs that end wherever
// one of them meets a loop boundary or its end.
void mix_voices(Voice* voices, uint32_t count, float* frames, uint32_t frame_count) {
  uint32_t done = 0;
  while (done < frame_count) {
    Voice* live[voices_per_pass];
    uint32_t live_count = 0, run = frame_count - done;
    for (uint32_t v = 0; v < count; v++) {
      if (voices[v].ended) continue;
      const uint32_t frames = begin_run(voices[v], frame_count - done);
      if (voices[v].ended) continue;
      live[live_count++] = &voices[v];
      run = std::min(run, frames);
    }
    float* out = frames + 2 * size_t(done);
    switch (live_count) {
      case 0:
        return;
      case 1:
        mix_run<1>(live, out, run);
        break;
      case 2:
        mix_run<2>(live, out, run);
        break;
      case 3:
        mix_run<3>(live, out, run);
        break;
      default:
        mix_run<4>(live, out, run);
        break;
    }
    for (uint32_t v = 0; v < live_count; v++) end_run(*live[v]);
    done += run;
  }
}

void mix_block(ModuleContext& song, float* frames, uint32_t frame_count) {
  Voice voices[MAX_XM_CHANNELS + 1];
  uint32_t count = 0;
  for (uint32_t c = 0; c < song.channel_count; c++) {
    if (start_voice(song, song.channels[c], voices[count])) count++;
  }
  for (uint32_t first = 0; first < count; first += voices_per_pass) {
    mix_voices(voices + first, std::min(voices_per_pass, count - first), frames, frame_count);
  }
  for (uint32_t v = 0; v < count; v++) voices[v].channel->position = voices[v].position;
}

}  // namespace

void update_gains(const ModuleContext& song, ChannelState& channel) {
  const int32_t volume = std::clamp(int32_t(channel.volume) - channel.volume_offset, 0, 64);
  uint32_t amplitude =
      (uint32_t(volume) * channel.volume_envelope_value * channel.fadeout_volume) >> 2;
  amplitude *= song.global_volume;
  const float intensity = float(amplitude) * (1.0f / 2147483648.0f);

  const int32_t note_pan = channel.panning;
  const int32_t channel_pan = channel.default_panning;
  const int32_t pan1 = note_pan + (channel_pan - 128) * (128 - std::abs(note_pan - 128)) / 128;
  int32_t pan2 = pan1 + (128 - std::abs(pan1 - 128)) * (channel.panning_envelope_value - 32) / 32;
  // A full-right envelope on a right-panned note reaches 256; the scale
  // stops at 255, as the panning byte does.
  pan2 = std::clamp(pan2, 0, 255);
  channel.gain_left = std::sqrt(float(256 - pan2) / 256.0f) * intensity;
  channel.gain_right = std::sqrt(float(pan2) / 256.0f) * intensity;
}

void mix_channel(const ModuleContext& song, ChannelState& channel, float* frames,
                 uint32_t frame_count) {
  Voice voice;
  if (!start_voice(song, channel, voice)) return;
  mix_voices(&voice, 1, frames, frame_count);
  channel.position = voice.position;
}

void render_frames(ModuleContext& song, float* frames, uint32_t frame_count) {
  std::fill(frames, frames + 2 * size_t(frame_count), 0.0f);
  uint32_t done = 0;
  while (done < frame_count) {
    uint32_t block;
    if (song.tick_remainder < 8192) {
      advance_clock(song);
      block = 1 + std::min(frames_before_tick(song), frame_count - done - 1);
      song.tick_remainder -= (block - 1) * 8192;
    } else {
      block = std::min(frames_before_tick(song), frame_count - done);
      song.tick_remainder -= block * 8192;
    }
    mix_block(song, frames + 2 * size_t(done), block);
    done += block;
  }
}
