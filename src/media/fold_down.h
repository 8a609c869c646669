#pragma once
// The stereo fold of a surround frame, shared by everything that turns a
// wider document or track into what is drawn, played or saved as stereo:
// the audition, the playback, the envelope, the MP3 save.
#include <cstddef>
#include <vector>

namespace vesk {

// Left and right weights per source channel (WAVE order: front left, front
// right, centre, low-frequency effects, back or side pairs; quad has no
// centre, 6.1 has a back centre as its fifth channel). Front pair as it is,
// centre and side or back pairs at -3 dB, a back centre at -6 dB into both
// sides, no low-frequency channel. Each side is then divided by the sum of
// its weights, so a full-scale frame of any width folds to full scale
// instead of past it. Mono feeds both sides; stereo stays as it is.
struct StereoFold {
  std::vector<float> left;
  std::vector<float> right;
};
StereoFold StereoFoldFor(unsigned channels);

// One frame of `fold.left.size()` values folded into left and right (not
// limited: the callers clamp or compare as they need).
inline void FoldFrame(const float* frame, const StereoFold& fold, float& left, float& right) {
  float l = 0, r = 0;
  for (size_t c = 0; c < fold.left.size(); ++c) {
    l += fold.left[c] * frame[c];
    r += fold.right[c] * frame[c];
  }
  left = l;
  right = r;
}

// Folds `frames` interleaved frames of `channels` values into `outChannels`
// (1 or 2) values per frame at `out`, limited to [-1, 1]; mono is the mean
// of the two sides.
void FoldChannels(const float* in, size_t frames, unsigned channels, unsigned outChannels, float* out);

}  // namespace vesk
