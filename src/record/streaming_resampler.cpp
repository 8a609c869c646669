#include "record/streaming_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "record/pacing.h"

namespace vesk {

void StreamingResampler::Reset(double nominalStep, int channels, int64_t maxBatchFrames) {
  channels_ = std::max(channels, 1);
  step_ = nominalStep;
  phase_ = 0;
  pending_ = 0;
  inCap_ = int64_t(std::floor(nominalStep * 1.005 * double(maxBatchFrames - 1) + 1)) + 10;
  input_.assign(size_t(inCap_) * size_t(channels_), 0.0f);
}

int64_t StreamingResampler::OutputFramesFor(int64_t available) const {
  return OutputFramesAvailable(available, step_, phase_);
}

int64_t StreamingResampler::OutputCapacity() const {
  return inCap_ >= 2 ? OutputFramesAvailable(inCap_, step_, phase_) : 0;
}

int64_t StreamingResampler::DiscardPending(int64_t frames) {
  const int64_t k = std::clamp<int64_t>(frames, 0, pending_);
  const int64_t ch = channels_;
  std::memmove(input_.data(), input_.data() + k * ch, size_t((pending_ - k) * ch) * sizeof(float));
  pending_ -= k;
  return k;
}

void StreamingResampler::Process(const float* main, int64_t n, SampleRing& secondary, float* out) {
  const int64_t ch = channels_;
  const int64_t need = InputFramesNeeded(n, step_, phase_);
  if (need > pending_) {
    float* dest = input_.data() + pending_ * ch;
    const int64_t got = int64_t(secondary.Read(dest, size_t((need - pending_) * ch))) / ch;
    std::fill(dest + got * ch, input_.data() + need * ch, 0.0f);
  }
  ResampleMix(main, input_.data(), step_, phase_, n, int(ch), out);
  const double pos = double(n) * step_ + phase_;
  const int64_t filled = std::max(need, pending_);
  const int64_t used = std::min<int64_t>(int64_t(std::floor(pos)), need);
  std::memmove(input_.data(), input_.data() + used * ch, size_t((filled - used) * ch) * sizeof(float));
  pending_ = filled - used;
  phase_ = pos - double(used);
}

}  // namespace vesk
