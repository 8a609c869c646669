#include "media/audition.h"

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr float kMinus3dB = 0.70710678f;

// Left and right weights of channel `c` of a `channels`-wide frame. Centre
// and surrounds go in at -3 dB, a back centre at -6 dB into both sides, the
// low-frequency channel is left out (the usual stereo fold), before the
// normalisation in FoldChannels.
void FoldWeights(unsigned c, unsigned channels, float& left, float& right) {
  left = right = 0;
  if (c < 2) {
    (c == 0 ? left : right) = 1;
    return;
  }
  // Quad (4 channels) has no centre: its third and fourth are back left/right.
  const bool hasCentre = channels != 4;
  if (hasCentre && c == 2) {
    left = right = kMinus3dB;
    return;
  }
  const bool hasLfe = channels >= 6;
  if (hasLfe && c == 3) return;
  const unsigned first = (hasCentre ? 3u : 2u) + (hasLfe ? 1u : 0u);
  if (channels == 7 && c == 4) {  // 6.1: back centre
    left = right = 0.5f;
    return;
  }
  const unsigned k = c - first - (channels == 7 ? 1u : 0u);
  (k % 2 == 0 ? left : right) = kMinus3dB;
}

}  // namespace

void FoldChannels(const float* in, size_t frames, unsigned channels, unsigned outChannels, float* out) {
  if (channels == 1) {
    for (size_t f = 0; f < frames; ++f)
      for (unsigned o = 0; o < outChannels; ++o) out[f * outChannels + o] = in[f];
    return;
  }
  // Each side is divided by the sum of its weights, so the fold of a full
  // scale frame stays at full scale instead of summing past it (an 8-channel
  // fold would otherwise reach +10 dB and clip).
  float sumLeft = 0, sumRight = 0;
  for (unsigned c = 0; c < channels; ++c) {
    float wl, wr;
    FoldWeights(c, channels, wl, wr);
    sumLeft += wl;
    sumRight += wr;
  }
  const float gainLeft = sumLeft > 0 ? 1.0f / sumLeft : 0.0f;
  const float gainRight = sumRight > 0 ? 1.0f / sumRight : 0.0f;
  for (size_t f = 0; f < frames; ++f) {
    const float* frame = in + f * channels;
    float l = 0, r = 0;
    for (unsigned c = 0; c < channels; ++c) {
      float wl, wr;
      FoldWeights(c, channels, wl, wr);
      l += wl * frame[c];
      r += wr * frame[c];
    }
    l = std::clamp(l * gainLeft, -1.0f, 1.0f);
    r = std::clamp(r * gainRight, -1.0f, 1.0f);
    if (outChannels == 1) {
      out[f] = 0.5f * (l + r);
    } else {
      out[f * 2] = l;
      out[f * 2 + 1] = r;
    }
  }
}

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
