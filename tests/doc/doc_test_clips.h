#pragma once
// Clips for the document tests.
#include <string>
#include <vector>

#include "doc/audio_doc.h"
#include "support/signal.h"

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

inline void AdoptClip(AudioDoc& doc, std::vector<float> samples, uint32_t rate = 48000, uint16_t channels = 2,
                      uint16_t sourceBits = 16, const std::string& path = "/clips/take.wav") {
  std::string error;
  if (!doc.Adopt(AudioFormat{rate, channels, 16}, std::move(samples), path, error, sourceBits))
    throw std::runtime_error(error);
}

}  // namespace vesk::test
