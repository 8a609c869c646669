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
  virtual size_t Channels() const = 0;
  // The frames from `frame` on that lie one after another in memory: their
  // address and how many (at least one when frame < Frames(); 0 past the
  // end). The address is nullptr for frames that are not held in memory (a
  // file the document reads from): ReadStretch copies those out.
  virtual const float* Span(uint64_t frame, uint64_t& count) const = 0;
  // Copies frames [frame, frame + count), which one Span call reported
  // without an address, into `out`.
  virtual void ReadStretch(uint64_t frame, uint64_t count, float* out) const {
    (void)frame, (void)count, (void)out;
  }
};

// One buffer that the caller owns.
class ContiguousSamples final : public SampleSource {
 public:
  ContiguousSamples() = default;
  ContiguousSamples(const float* samples, uint64_t frames, size_t channels)
      : samples_(samples), frames_(frames), channels_(channels ? channels : 1) {}
  uint64_t Frames() const override { return frames_; }
  size_t Channels() const override { return channels_; }
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
    if (run == 0) break;
    run = std::min(run, count - done);
    if (p != nullptr)
      std::copy_n(p, run * channels, out + done * channels);
    else
      source.ReadStretch(start + done, run, out + done * channels);
    done += run;
  }
  return done;
}

// Calls fn(pointer, frames) for each stretch of frames [start, end) in one
// buffer, in order; frames not held in memory are read into a buffer of
// this call first, a bounded stretch at a time.
template <class Fn>
void ForEachSpan(const SampleSource& source, uint64_t start, uint64_t end, Fn&& fn) {
  constexpr uint64_t kReadFrames = 16384;
  std::vector<float> read;
  while (start < end) {
    uint64_t run = 0;
    const float* p = source.Span(start, run);
    if (run == 0) return;
    run = std::min(run, end - start);
    if (p == nullptr) {
      run = std::min(run, kReadFrames);
      read.resize(run * source.Channels());
      source.ReadStretch(start, run, read.data());
      p = read.data();
    }
    fn(p, run);
    start += run;
  }
}

}  // namespace vesk
