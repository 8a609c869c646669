#pragma once
// The selection rule of the audition excerpt, fed block by block by whichever
// decoder reads the track. Wider tracks are folded into what is played, so a
// surround track whose dialogue is in the centre channel is heard, and
// silence is judged on the folded sound.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/fold_down.h"

namespace vesk {

class AuditionCollector {
 public:
  // Blocks arrive with `sourceChannels` values per frame in the usual WAVE
  // order (front left, front right, centre, low-frequency effects, back or
  // side pairs); they are folded into `outChannels` (1 or 2).
  AuditionCollector(uint32_t rate, unsigned outChannels, double clipSeconds, double scanSeconds);

  // True while more material should be read (fewer than the scan frames read
  // and, once sound was found, fewer than the clip frames collected).
  bool WantsMore() const;
  // One decoded block. Until sound is found a block whose peak is at most
  // 0.01 is dropped; the first louder block starts the clip.
  void Add(const float* interleaved, size_t frames, unsigned sourceChannels);
  // Cuts the clip to its length, or empties it when no sound was found.
  std::vector<float> Finish(bool& allSilent);

 private:
  unsigned outChannels_;
  uint64_t clipFrames_;
  uint64_t scanFrames_;
  uint64_t framesRead_ = 0;
  bool soundFound_ = false;
  std::vector<float> clip_;
  std::vector<float> folded_;
};

}  // namespace vesk
