#include "media/true_peak.h"

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kBlock = 64;  // gaps judged together
constexpr size_t kTaps = Interpolator4x::kTaps;
constexpr size_t kBefore = Interpolator4x::kBefore;
constexpr size_t kAfter = kTaps - kBefore - 1;  // taps after n

}  // namespace

const Interpolator4x& Lanczos4x() {
  static const Interpolator4x in = [] {
    Interpolator4x r;
    for (int p = 0; p < 3; ++p) {
      const double t = (p + 1) / 4.0;
      double sum = 0;
      for (int k = 0; k < Interpolator4x::kTaps; ++k) {
        const double x = double(k - Interpolator4x::kBefore) - t;
        const double px = kPi * x;
        const double v = 8.0 * std::sin(px) * std::sin(px / 8.0) / (px * px);
        r.h[size_t(p)][size_t(k)] = float(v);
        sum += v;
      }
      double absolute = 0;
      for (float& v : r.h[size_t(p)]) {
        v = float(v / sum);
        absolute += std::fabs(v);
      }
      r.gainBound = std::max(r.gainBound, float(absolute * 1.0001));
    }
    return r;
  }();
  return in;
}

void TruePeakScan::Add(const float* samples, size_t frames) {
  if (channels_ == 0 || frames == 0) return;
  const size_t count = frames * channels_;
  // Every sample counts as it is; the interpolation can only add to that.
  float peak = best_;
  for (size_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(samples[i]));
  best_ = peak;
  buf_.insert(buf_.end(), samples, samples + count);
  realFrames_ = buf_.size() / channels_;
  // A gap needs kAfter frames after it.
  if (realFrames_ > kAfter) Scan(realFrames_ - kAfter);
  // Keep what the next gaps still reach back to.
  const size_t keepFrom = next_ > kBefore ? next_ - kBefore : 0;
  if (keepFrom > 0) {
    buf_.erase(buf_.begin(), buf_.begin() + std::ptrdiff_t(keepFrom * channels_));
    next_ -= keepFrom;
    realFrames_ -= keepFrom;
  }
}

void TruePeakScan::Finish() {
  if (channels_ == 0 || realFrames_ < 2) return;
  // Silence after the end: only gaps between two real samples are read.
  const size_t end = realFrames_ - 1;
  buf_.resize(buf_.size() + kAfter * channels_, 0.0f);
  Scan(end);
  buf_.clear();
  next_ = realFrames_ = 0;
}

void TruePeakScan::Scan(size_t endGap) {
  if (endGap <= next_) return;
  const Interpolator4x& in = Lanczos4x();
  const size_t frames = buf_.size() / channels_;
  // The largest sample of each frame over its channels.
  frameMax_.resize(frames);
  for (size_t f = 0; f < frames; ++f) {
    float m = 0;
    for (uint16_t c = 0; c < channels_; ++c) m = std::max(m, std::fabs(buf_[f * channels_ + c]));
    frameMax_[f] = m;
  }
  for (size_t g0 = next_; g0 < endGap; g0 += kBlock) {
    const size_t g1 = std::min(endGap, g0 + kBlock);
    // Every tap these gaps read: frames [g0 - kBefore, g1 + kAfter].
    const size_t lo = g0 > kBefore ? g0 - kBefore : 0;
    const size_t hi = std::min(frames, g1 + kAfter + 1);
    float reach = 0;
    for (size_t f = lo; f < hi; ++f) reach = std::max(reach, frameMax_[f]);
    if (reach * in.gainBound <= best_) continue;
    // One channel at a time, laid out contiguously from frame g0 - kBefore
    // (zeros before the start), so the inner loop vectorises.
    const size_t n = g1 - g0;
    lane_.assign(n + kTaps, 0.0f);
    for (uint16_t c = 0; c < channels_; ++c) {
      for (size_t i = 0; i < n + kTaps - 1; ++i) {
        const int64_t f = int64_t(g0) - int64_t(kBefore) + int64_t(i);
        lane_[i] = f >= 0 && size_t(f) < frames ? buf_[size_t(f) * channels_ + c] : 0.0f;
      }
      for (const auto& h : in.h) {
        std::fill(out_.begin(), out_.begin() + std::ptrdiff_t(n), 0.0f);
        for (size_t k = 0; k < kTaps; ++k) {
          const float w = h[k];
          const float* x = lane_.data() + k;
          for (size_t j = 0; j < n; ++j) out_[j] += w * x[j];
        }
        float m = best_;
        for (size_t j = 0; j < n; ++j) m = std::max(m, std::fabs(out_[j]));
        best_ = m;
      }
    }
  }
  next_ = endGap;
}

}  // namespace vesk
