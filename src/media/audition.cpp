#include "media/audition.h"

#include <algorithm>
#include <cmath>

namespace vesk {

AuditionCollector::AuditionCollector(uint32_t rate, unsigned outChannels, double clipSeconds, double scanSeconds)
    : outChannels_(std::clamp(outChannels, 1u, 2u)),
      clipFrames_(uint64_t(std::floor(double(rate) * std::max(clipSeconds, 0.0)))),
      scanFrames_(uint64_t(std::floor(double(rate) * std::max(scanSeconds, 0.0)))) {}

bool AuditionCollector::WantsMore() const {
  if (framesRead_ >= scanFrames_) return false;
  return !(soundFound_ && clip_.size() / outChannels_ >= clipFrames_);
}

void AuditionCollector::Add(const float* interleaved, size_t frames, unsigned sourceChannels) {
  if (sourceChannels == 0 || frames == 0) return;
  framesRead_ += frames;
  folded_.resize(frames * outChannels_);
  FoldChannels(interleaved, frames, sourceChannels, outChannels_, folded_.data());
  if (!soundFound_) {
    float peak = 0;
    for (float v : folded_) peak = std::max(peak, std::fabs(v));
    if (!(peak > 0.01f)) return;
    soundFound_ = true;
  }
  clip_.insert(clip_.end(), folded_.begin(), folded_.end());
}

std::vector<float> AuditionCollector::Finish(bool& allSilent) {
  allSilent = !soundFound_;
  if (!soundFound_) {
    clip_.clear();
  } else if (clip_.size() > clipFrames_ * outChannels_) {
    clip_.resize(size_t(clipFrames_ * outChannels_));
  }
  return std::move(clip_);
}

}  // namespace vesk
