#pragma once
// Measurements on recorded sample buffers: tone power by Goertzel, pitch by
// zero crossings, level.
#include <cmath>
#include <cstddef>
#include <vector>

namespace vesk::test {

// Power of `frequency` in one channel of interleaved samples (normalised so a
// full-scale sine gives about 0.25).
inline double TonePower(const std::vector<float>& s, int channels, int channel, double rate, double frequency,
                        size_t firstFrame = 0) {
  const size_t frames = s.size() / size_t(channels);
  if (frames <= firstFrame + 1) return 0;
  const double w = 2 * M_PI * frequency / rate, coeff = 2 * std::cos(w);
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

inline double Rms(const std::vector<float>& s, int channels, int channel, size_t firstFrame = 0) {
  const size_t frames = s.size() / size_t(channels);
  if (frames <= firstFrame) return 0;
  double sum = 0;
  for (size_t i = firstFrame; i < frames; ++i) sum += double(s[i * size_t(channels) + size_t(channel)]) *
                                                     s[i * size_t(channels) + size_t(channel)];
  return std::sqrt(sum / double(frames - firstFrame));
}

inline std::vector<float> Sine(double frequency, double rate, size_t frames, int channels, float amplitude = 0.5f) {
  std::vector<float> v(frames * size_t(channels));
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      v[i * size_t(channels) + size_t(c)] = amplitude * float(std::sin(2 * M_PI * frequency * double(i) / rate));
  return v;
}

}  // namespace vesk::test
