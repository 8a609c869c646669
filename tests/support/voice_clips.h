#pragma once
// The voice test set (../shared/testdata/voice: clean read speech, 48 kHz
// mono, and the same speech with hiss, fan or mains hum) and the score the
// set is judged by.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_loader.h"

namespace vesk::test {

inline std::filesystem::path VoiceFile(const char* name) {
  return std::filesystem::path(VESK_SOURCE_DIR) / ".." / "shared" / "testdata" / "voice" / name;
}

inline std::vector<float> LoadMono(const std::filesystem::path& path, uint32_t* rate = nullptr) {
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  EXPECT_TRUE(LoadAudioFile(path, format, samples, error)) << error;
  if (rate) *rate = format.sampleRate;
  return samples;
}

// Scale-invariant signal-to-distortion ratio of `est` against `ref`, in dB
// (no delay is removed: the two must be aligned).
inline double SiSdr(const std::vector<float>& est, const std::vector<float>& ref) {
  double dot = 0, energy = 0;
  for (size_t i = 0; i < ref.size(); ++i) {
    dot += double(est[i]) * ref[i];
    energy += double(ref[i]) * ref[i];
  }
  const double alpha = dot / energy;
  double target = 0, residue = 0;
  for (size_t i = 0; i < ref.size(); ++i) {
    const double t = alpha * ref[i];
    target += t * t;
    residue += (est[i] - t) * (est[i] - t);
  }
  return 10 * std::log10(target / residue);
}

}  // namespace vesk::test
