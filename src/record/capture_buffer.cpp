#include "record/capture_source.h"

#include "record/pacing.h"

namespace vesk {

void CaptureBuffer::Prepare(uint32_t rate, uint16_t channels) {
  rate_.store(rate, std::memory_order_release);
  channels_.store(channels, std::memory_order_release);
  ring_.Configure(&head_, rate, channels);
  ring_.Reset(size_t(rate) * channels * kRingSeconds);
  captured_.store(0, std::memory_order_release);
  overflow_.store(0, std::memory_order_release);
  latencyCount_.store(0, std::memory_order_release);
  latency_.store(0, std::memory_order_release);
  losses_.store(0, std::memory_order_release);
  lostTicks_.store(0, std::memory_order_release);
  refusing_ = false;
}

void CaptureBuffer::NoteLoss(int64_t ticks) {
  losses_.fetch_add(1, std::memory_order_acq_rel);
  lostTicks_.fetch_add(ticks > 0 ? ticks : 0, std::memory_order_acq_rel);
}

size_t CaptureBuffer::Deliver(const float* samples, size_t frames, int64_t timestamp, int64_t now) {
  const uint32_t count = latencyCount_.load(std::memory_order_acquire);
  if (frames > 0 && timestamp != 0 && count < kLatencyMeasurements) {
    const int64_t lat = now - timestamp;
    // The figure is in place before the count says it is complete.
    if (count == 0 || lat < latency_.load(std::memory_order_acquire)) latency_.store(lat, std::memory_order_release);
    latencyCount_.store(count + 1, std::memory_order_release);
  }
  const size_t channels = ring_.FrameSize();
  const size_t taken = ring_.Write(samples, frames * channels, timestamp) / channels;
  overflow_.fetch_add(frames - taken, std::memory_order_acq_rel);
  // One run of refused packets is one hole.
  if (taken < frames) {
    if (!refusing_) losses_.fetch_add(1, std::memory_order_acq_rel);
    lostTicks_.fetch_add(FramesToTicks(int64_t(frames - taken), Rate()), std::memory_order_acq_rel);
  }
  refusing_ = taken < frames;
  captured_.fetch_add(frames, std::memory_order_acq_rel);
  return taken;
}

}  // namespace vesk
