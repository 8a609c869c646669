#pragma once
// The mixer's rate conversion of the secondary path, one batch at a time:
// each batch takes the input frames it needs from the secondary ring behind
// those carried over from the previous batch, mixes them (linearly
// interpolated) onto the main path's frames, and keeps the fractional
// position and the unused tail for the next batch. Fed batch by batch it
// gives the same samples as one conversion of the whole stream.
//
// Threads: the RecorderThread only (or any single thread in tests).
#include <cstdint>
#include <vector>

#include "record/sample_ring.h"

namespace vesk {

class StreamingResampler {
 public:
  // Empties the carry-over and sizes the input buffer so that one batch of
  // maxBatchFrames at up to 1.005 × nominalStep fits. Allocates.
  void Reset(double nominalStep, int channels, int64_t maxBatchFrames);

  // out = main + the secondary resampled at the current step, n frames
  // (n ≤ OutputCapacity()). Frames the ring cannot supply count as silence.
  void Process(const float* main, int64_t n, SampleRing& secondary, float* out);

  // Output frames `available` input frames (ring + carry) can give.
  int64_t OutputFramesFor(int64_t available) const;
  // Output frames one batch can hold without overrunning the input buffer.
  int64_t OutputCapacity() const;

  // Drops up to `frames` of the carry-over from its front (the oldest);
  // returns how many were dropped.
  int64_t DiscardPending(int64_t frames);

  double Step() const { return step_; }
  void SetStep(double step) { step_ = step; }
  double Phase() const { return phase_; }
  int64_t Pending() const { return pending_; }
  int64_t InputCapacity() const { return inCap_; }

 private:
  int channels_ = 1;
  double step_ = 1.0;
  double phase_ = 0.0;
  int64_t pending_ = 0;
  int64_t inCap_ = 0;
  std::vector<float> input_;
};

}  // namespace vesk
