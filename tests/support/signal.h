#pragma once
// Test signals and measurements on interleaved float buffers: tones and
// noise to feed the code, tone power by Goertzel, pitch by zero crossings,
// level.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk::test {

inline constexpr double kPi = 3.14159265358979323846;

// `frames` frames of a sine; channel c is shifted by c × channelPhase radians
// (0: every channel alike).
inline std::vector<float> Sine(size_t frames, int channels, double hz, double rate, double amplitude = 0.5,
                               double channelPhase = 0.0) {
  std::vector<float> v(frames * size_t(channels));
  for (size_t f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c)
      v[f * size_t(channels) + size_t(c)] = float(amplitude * std::sin(2 * kPi * hz * double(f) / rate + c * channelPhase));
  return v;
}

// `count` samples of uniform noise in [-amplitude, amplitude], the same for
// the same seed on every platform.
inline std::vector<float> Noise(size_t count, float amplitude, uint32_t seed = 12345) {
  std::vector<float> v(count);
  for (float& x : v) {
    seed = seed * 1664525u + 1013904223u;
    x = amplitude * (float(seed >> 8) / float(1u << 23) - 1.0f);
  }
  return v;
}

inline float Peak(const std::vector<float>& v) {
  float p = 0;
  for (float x : v) p = std::max(p, std::fabs(x));
  return p;
}

// Level of the samples [from, to) (all channels together).
inline double RmsOfRange(const std::vector<float>& v, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(v[i]) * v[i];
  return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

// Level of one channel from `firstFrame` on.
inline double Rms(const std::vector<float>& s, int channels, int channel, size_t firstFrame = 0) {
  const size_t frames = s.size() / size_t(channels);
  if (frames <= firstFrame) return 0;
  double sum = 0;
  for (size_t i = firstFrame; i < frames; ++i) {
    const double x = s[i * size_t(channels) + size_t(channel)];
    sum += x * x;
  }
  return std::sqrt(sum / double(frames - firstFrame));
}

// Power of `frequency` in one channel (normalised so a full-scale sine gives
// about 0.25).
inline double TonePower(const std::vector<float>& s, int channels, int channel, double rate, double frequency,
                        size_t firstFrame = 0) {
  const size_t frames = s.size() / size_t(channels);
  if (frames <= firstFrame + 1) return 0;
  const double w = 2 * kPi * frequency / rate, coeff = 2 * std::cos(w);
  double q1 = 0, q2 = 0;
  for (size_t i = firstFrame; i < frames; ++i) {
    const double q0 = coeff * q1 - q2 + s[i * size_t(channels) + size_t(channel)];
    q2 = q1;
    q1 = q0;
  }
  const double n = double(frames - firstFrame);
  return (q1 * q1 + q2 * q2 - coeff * q1 * q2) / (n * n);
}

// Frequency from upward zero crossings of one channel.
inline double ZeroCrossingPitch(const std::vector<float>& s, int channels, int channel, double rate,
                                size_t firstFrame = 0) {
  const size_t frames = s.size() / size_t(channels);
  long crossings = 0;
  size_t first = 0, last = 0;
  for (size_t i = firstFrame + 1; i < frames; ++i) {
    const float a = s[(i - 1) * size_t(channels) + size_t(channel)], b = s[i * size_t(channels) + size_t(channel)];
    if (a < 0 && b >= 0) {
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return double(crossings - 1) * rate / double(last - first);
}

}  // namespace vesk::test
