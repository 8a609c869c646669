#pragma once
// Read access to interleaved float frames that need not lie in one buffer
// (the edit document's pieces, a decoded copy, a rendered buffer). An
// implementation is immutable while anyone reads it, so a reader on another
// thread needs no lock; the owner keeps it alive for as long as it is read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk {

class SampleSource {
 public:
  virtual ~SampleSource() = default;
  virtual uint64_t Frames() const = 0;
  // The frames from `frame` on that lie one after another in memory: their
  // address and how many (at least one when frame < Frames(); nullptr and 0
  // past the end).
  virtual const float* Span(uint64_t frame, uint64_t& count) const = 0;
};

// One buffer that the caller owns.
class ContiguousSamples final : public SampleSource {
 public:
  ContiguousSamples() = default;
  ContiguousSamples(const float* samples, uint64_t frames, size_t channels)
      : samples_(samples), frames_(frames), channels_(channels ? channels : 1) {}
  uint64_t Frames() const override { return frames_; }
  const float* Span(uint64_t frame, uint64_t& count) const override {
    count = frame < frames_ ? frames_ - frame : 0;
    return count ? samples_ + frame * channels_ : nullptr;
  }

 private:
  const float* samples_ = nullptr;
  uint64_t frames_ = 0;
  size_t channels_ = 1;
};

// Copies frames [start, start + count) into `out` (count × channels floats);
// frames past the end are left as they are. Returns the frames copied.
inline uint64_t ReadFrames(const SampleSource& source, uint64_t start, uint64_t count, size_t channels, float* out) {
  uint64_t done = 0;
  while (done < count) {
    uint64_t run = 0;
    const float* p = source.Span(start + done, run);
    if (p == nullptr || run == 0) break;
    run = std::min(run, count - done);
    std::copy_n(p, run * channels, out + done * channels);
    done += run;
  }
  return done;
}

// Calls fn(pointer, frames) for each stretch of frames [start, end) that lies
// in one buffer, in order.
template <class Fn>
void ForEachSpan(const SampleSource& source, uint64_t start, uint64_t end, Fn&& fn) {
  while (start < end) {
    uint64_t run = 0;
    const float* p = source.Span(start, run);
    if (p == nullptr || run == 0) return;
    run = std::min(run, end - start);
    fn(p, run);
    start += run;
  }
}

}  // namespace vesk
