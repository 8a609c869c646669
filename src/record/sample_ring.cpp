#include "record/sample_ring.h"

#include <algorithm>
#include <cstring>

#include "record/pacing.h"

namespace vesk {

void SampleRing::Reset(size_t samples) {
  std::lock_guard<std::mutex> lock(mutex_);
  cap_ = std::max<size_t>(samples, 1);
  storage_.assign(cap_, 0.0f);
  write_ = 0;
  read_ = 0;
  markFirst_ = markCount_ = 0;
  writtenTotal_ = readTotal_ = 0;
  expected_ = 0;
  StoreHead(0);
}

void SampleRing::Configure(std::atomic<int64_t>* head, uint32_t rate, uint32_t channels) {
  std::lock_guard<std::mutex> lock(mutex_);
  head_ = head;
  frameSize_ = std::max<uint32_t>(channels, 1);
  samplesPerSecond_ = (rate == 0 || channels == 0) ? 0 : int64_t(rate) * int64_t(channels);
  markFirst_ = markCount_ = 0;
  StoreHead(0);
}

int64_t SampleRing::Smoothed(int64_t timestamp, size_t samples) {
  int64_t stamp = timestamp;
  if (expected_ != 0 && samplesPerSecond_ > 0) {
    const int64_t deviation = timestamp - expected_;
    if (deviation > -kStampJump && deviation < kStampJump) stamp = expected_ + deviation / 16;
  }
  expected_ = samplesPerSecond_ > 0 ? stamp + MulDivTrunc(int64_t(samples), kTicksPerSecond, samplesPerSecond_) : 0;
  return stamp;
}

size_t SampleRing::Write(const float* samples, size_t count, int64_t timestamp) {
  std::lock_guard<std::mutex> lock(mutex_);
  // What the ring refuses still moves the device's clock on.
  if (timestamp != 0) timestamp = Smoothed(timestamp, count - count % frameSize_);
  const size_t used = UsedLocked();
  if (cap_ < used + 2 * frameSize_) return 0;
  size_t room = cap_ - used - frameSize_;
  room -= room % frameSize_;
  // Whole frames only, also when the caller hands a ragged count.
  const size_t n = std::min(room, count - count % frameSize_);
  const size_t first = std::min(n, cap_ - write_);
  if (first > 0) std::memcpy(storage_.data() + write_, samples, first * sizeof(float));
  if (n > first) std::memcpy(storage_.data(), samples + first, (n - first) * sizeof(float));
  write_ = (write_ + n) % cap_;
  if (n > 0 && timestamp != 0) {
    if (used == 0) {
      markFirst_ = markCount_ = 0;
      StoreHead(timestamp);
    } else if (markCount_ < kMarks) {
      marks_[(markFirst_ + markCount_++) % kMarks] = Mark{writtenTotal_, timestamp};
    }
  }
  writtenTotal_ += n;
  return n;
}

size_t SampleRing::Read(float* dest, size_t max) {
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t n = std::min(max, UsedLocked());
  const size_t first = std::min(n, cap_ - read_);
  if (dest != nullptr) {
    if (first > 0) std::memcpy(dest, storage_.data() + read_, first * sizeof(float));
    if (n > first) std::memcpy(dest + first, storage_.data(), (n - first) * sizeof(float));
  }
  read_ = (read_ + n) % cap_;
  readTotal_ += n;
  if (UsedLocked() == 0) {
    markFirst_ = markCount_ = 0;
    StoreHead(0);
  } else if (n > 0 && samplesPerSecond_ > 0) {
    // The newest stamp the reader has reached, else the head counted on.
    bool marked = false;
    Mark reached{};
    while (markCount_ > 0 && marks_[markFirst_].position <= readTotal_) {
      reached = marks_[markFirst_];
      markFirst_ = (markFirst_ + 1) % kMarks;
      --markCount_;
      marked = true;
    }
    if (marked) {
      StoreHead(reached.timestamp +
                MulDivTrunc(int64_t(readTotal_ - reached.position), kTicksPerSecond, samplesPerSecond_));
    } else {
      const int64_t head = LoadHead();
      if (head != 0) StoreHead(head + MulDivTrunc(int64_t(n), kTicksPerSecond, samplesPerSecond_));
    }
  }
  return n;
}

size_t SampleRing::Available() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return UsedLocked();
}

size_t SampleRing::Capacity() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cap_;
}

size_t SampleRing::FrameSize() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frameSize_;
}

}  // namespace vesk
