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
  StoreHead(0);
}

void SampleRing::Configure(std::atomic<int64_t>* head, uint32_t rate, uint32_t channels) {
  std::lock_guard<std::mutex> lock(mutex_);
  head_ = head;
  frameSize_ = std::max<uint32_t>(channels, 1);
  samplesPerSecond_ = (rate == 0 || channels == 0) ? 0 : int64_t(rate) * int64_t(channels);
  StoreHead(0);
}

size_t SampleRing::Write(const float* samples, size_t count, int64_t timestamp) {
  std::lock_guard<std::mutex> lock(mutex_);
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
  if (used == 0 && n > 0 && timestamp != 0) StoreHead(timestamp);
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
  if (UsedLocked() == 0) {
    StoreHead(0);
  } else if (n > 0 && samplesPerSecond_ > 0) {
    const int64_t head = LoadHead();
    if (head != 0) StoreHead(head + MulDivTrunc(int64_t(n), kTicksPerSecond, samplesPerSecond_));
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
