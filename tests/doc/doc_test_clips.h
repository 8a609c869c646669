#pragma once
// Clips for the document tests.
#include <cmath>
#include <string>
#include <vector>

#include "doc/audio_doc.h"

namespace vesk::test {

// Every sample distinct: frame f, channel c holds (f * channels + c + 1) / 1e7.
inline std::vector<float> Ramp(size_t frames, uint16_t channels) {
  std::vector<float> v(frames * channels);
  for (size_t i = 0; i < v.size(); ++i) v[i] = float(double(i + 1) / 1e7);
  return v;
}

inline std::vector<float> Constant(size_t frames, uint16_t channels, float value) {
  return std::vector<float>(frames * channels, value);
}

inline std::vector<float> Sine(size_t frames, uint16_t channels, double hz, double rate, double amp) {
  std::vector<float> v(frames * channels);
  for (size_t f = 0; f < frames; ++f)
    for (uint16_t c = 0; c < channels; ++c)
      v[f * channels + c] = float(amp * std::sin(2 * 3.14159265358979323846 * hz * double(f) / rate + c));
  return v;
}

inline void AdoptClip(AudioDoc& doc, std::vector<float> samples, uint32_t rate = 48000, uint16_t channels = 2,
                      uint16_t sourceBits = 16, const std::string& path = "/clips/take.wav") {
  std::string error;
  if (!doc.Adopt(AudioFormat{rate, channels, 16}, std::move(samples), path, error, sourceBits))
    throw std::runtime_error(error);
}

}  // namespace vesk::test
