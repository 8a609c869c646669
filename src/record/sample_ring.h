#pragma once
// The buffer through which a capture stream hands its frames to the mixer.
// Contract: one writer thread and one reader thread; every operation takes
// the ring's mutex. Only whole frames are stored and one frame of space is
// always kept free. The head timestamp (the 100-ns time of the oldest unread
// frame, 0 when unknown or empty) lives in an atomic owned by the capture
// stream, so readers can look at it without the mutex. Every stamped write
// leaves a mark, so the head follows the stamps of the packets it reaches
// rather than counting on from the first one (a device whose clock differs
// from the nominal rate, a stretch it did not deliver).
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vesk {

class SampleRing {
 public:
  SampleRing() = default;
  SampleRing(const SampleRing&) = delete;
  SampleRing& operator=(const SampleRing&) = delete;

  // Storage becomes max(samples, 1) zero samples; indices and head reset.
  // Allocates: call while neither thread uses the ring.
  void Reset(size_t samples);
  // Binds the head timestamp and sets the frame size; rate or channels 0
  // switches timestamp tracking off.
  void Configure(std::atomic<int64_t>* head, uint32_t rate, uint32_t channels);
  // Copies as many whole frames of `count` samples as fit; returns the number
  // of samples written. The first write into an empty ring sets the head.
  size_t Write(const float* samples, size_t count, int64_t timestamp);
  // Copies up to `max` samples into dest (nullptr discards them); returns the
  // number of samples taken and moves the head on by their duration.
  size_t Read(float* dest, size_t max);
  // Samples held.
  size_t Available() const;
  // Storage size in samples.
  size_t Capacity() const;
  size_t FrameSize() const;

 private:
  size_t UsedLocked() const { return (write_ + cap_ - read_) % cap_; }
  void StoreHead(int64_t value) {
    if (head_ != nullptr) head_->store(value, std::memory_order_release);
  }
  int64_t LoadHead() const { return head_ != nullptr ? head_->load(std::memory_order_acquire) : 0; }

  mutable std::mutex mutex_;
  std::vector<float> storage_ = std::vector<float>(1, 0.0f);
  size_t cap_ = 1;
  size_t write_ = 0;
  size_t read_ = 0;
  size_t frameSize_ = 1;
  int64_t samplesPerSecond_ = 0;
  std::atomic<int64_t>* head_ = nullptr;
  // Stamps of the writes not yet reached by the reader: the sample count
  // written before each and its timestamp (a fixed queue; when full, later
  // stamps wait until the reader frees a place).
  struct Mark {
    uint64_t position;
    int64_t timestamp;
  };
  static constexpr size_t kMarks = 1024;
  std::array<Mark, kMarks> marks_{};
  size_t markFirst_ = 0;
  size_t markCount_ = 0;
  uint64_t writtenTotal_ = 0;
  uint64_t readTotal_ = 0;
  // The stamp the next write should carry if the device ran at its nominal
  // rate (0 = none yet): stamps within kStampJump of it are averaged into it
  // (a device's stamps jitter by milliseconds, its clock does not), a larger
  // jump (a stretch the device skipped, a restart) is taken as it is.
  static constexpr int64_t kStampJump = 500'000;  // 50 ms
  int64_t expected_ = 0;
  int64_t Smoothed(int64_t timestamp, size_t samples);
};

}  // namespace vesk
