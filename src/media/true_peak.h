#pragma once
// True peak of interleaved float audio: the largest absolute value of the
// signal and of the points a quarter, a half and three quarters of the way
// between its samples (4× interpolation, Lanczos kernel a = 8). The loudness
// meter reports it and the limiter keeps under it, so both see one signal.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk {

// The three in-between phases of the 4× interpolation: the value at
// n + (p + 1)/4 is Σ h[p][k] · x[n - 7 + k].
struct Interpolator4x {
  static constexpr int kTaps = 16;
  static constexpr int kBefore = 7;  // taps before n
  std::array<std::array<float, kTaps>, 3> h{};
  // The largest Σ|h[p][k]|: no interpolated point exceeds the largest
  // sample in reach by more than this factor.
  float gainBound = 1;
};
const Interpolator4x& Lanczos4x();

// Fed piece by piece; Finish() once after the last piece. Stretches whose
// samples are too low to pass the peak found so far, even with the
// interpolation's largest gain, are skipped, so speech costs little more
// than its sample peak.
class TruePeakScan {
 public:
  explicit TruePeakScan(uint16_t channels) : channels_(channels) {}
  void Add(const float* samples, size_t frames);
  void Finish();
  float Peak() const { return best_; }

 private:
  void Scan(size_t endGap);  // evaluates gaps [next_, endGap) of buf_
  uint16_t channels_;
  std::vector<float> buf_;  // interleaved: the carried tail and the new frames
  size_t next_ = 0;         // the next gap (between frame g and g + 1) in buf_
  size_t realFrames_ = 0;   // frames of buf_ that are audio (not the end padding)
  float best_ = 0;
  std::vector<float> frameMax_, lane_;
  std::array<float, 64> out_{};
};

}  // namespace vesk
