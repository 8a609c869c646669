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
  const unsigned keep = std::min(outChannels_, sourceChannels);
  framesRead_ += frames;
  if (!soundFound_) {
    float peak = 0;
    for (size_t i = 0; i < frames * sourceChannels; ++i) peak = std::max(peak, std::fabs(interleaved[i]));
    if (!(peak > 0.01f)) return;
    soundFound_ = true;
  }
  clip_.reserve(clip_.size() + frames * outChannels_);
  for (size_t f = 0; f < frames; ++f) {
    const float* frame = interleaved + f * sourceChannels;
    for (unsigned c = 0; c < outChannels_; ++c) clip_.push_back(frame[std::min(c, keep - 1)]);
  }
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
