#include "media/fold_down.h"

#include <algorithm>

namespace vesk {

namespace {

constexpr float kMinus3dB = 0.70710678f;

// Weights of channel `c` of a `channels`-wide frame before normalisation.
void FoldWeights(unsigned c, unsigned channels, float& left, float& right) {
  left = right = 0;
  if (channels == 1) {
    left = right = 1;
    return;
  }
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

StereoFold StereoFoldFor(unsigned channels) {
  StereoFold fold;
  fold.left.resize(channels);
  fold.right.resize(channels);
  float sumLeft = 0, sumRight = 0;
  for (unsigned c = 0; c < channels; ++c) {
    FoldWeights(c, channels, fold.left[c], fold.right[c]);
    sumLeft += fold.left[c];
    sumRight += fold.right[c];
  }
  for (unsigned c = 0; c < channels; ++c) {
    fold.left[c] = sumLeft > 0 ? fold.left[c] / sumLeft : 0.0f;
    fold.right[c] = sumRight > 0 ? fold.right[c] / sumRight : 0.0f;
  }
  return fold;
}

void FoldChannels(const float* in, size_t frames, unsigned channels, unsigned outChannels, float* out) {
  if (channels == 0) return;
  const StereoFold fold = StereoFoldFor(channels);
  for (size_t f = 0; f < frames; ++f) {
    float l, r;
    FoldFrame(in + f * channels, fold, l, r);
    l = std::clamp(l, -1.0f, 1.0f);
    r = std::clamp(r, -1.0f, 1.0f);
    if (outChannels == 1) {
      out[f] = 0.5f * (l + r);
    } else {
      out[f * 2] = l;
      out[f * 2 + 1] = r;
    }
  }
}

}  // namespace vesk
