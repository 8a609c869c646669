#pragma once
// A capture source without a device: tests and the self-test push packets
// into it by hand. Start behaves like a real stream (rate = requested rate, or
// the device rate given at construction when 0 is requested; a configured
// failure is reported with its text).
#include <atomic>
#include <mutex>
#include <string>

#include "record/capture_source.h"
#include "record/time_source.h"

namespace vesk {

class MemoryCaptureSource final : public CaptureSource {
 public:
  MemoryCaptureSource(const TimeSource& clock, uint32_t deviceRate) : clock_(clock), deviceRate_(deviceRate) {}

  // The next Start fails with this text (empty text: the stream gives none).
  void FailNextStart(std::string text) {
    failStart_ = true;
    failText_ = std::move(text);
  }

  bool Start(const std::string& endpointId, bool loopback, uint16_t channels, uint32_t rate,
             std::string& error) override;
  void Stop() override { running_.store(false); }
  bool IsRunning() const { return running_.load(); }
  const std::string& EndpointId() const { return endpointId_; }
  uint16_t Channels() const { return buffer_.Channels(); }

  // One packet of interleaved frames at the source's channel count, stamped
  // with `timestamp`; latency is measured against the clock as a real stream
  // does. Returns the frames the ring took.
  size_t Push(const float* samples, size_t frames, int64_t timestamp);

  uint32_t Rate() const override { return buffer_.Rate(); }
  SampleRing& Ring() override { return buffer_.Ring(); }
  int64_t HeadTimestamp() const override { return buffer_.HeadTimestamp(); }
  uint64_t CapturedFrames() const override { return buffer_.CapturedFrames(); }
  uint64_t OverflowFrames() const override { return buffer_.OverflowFrames(); }
  uint64_t LossCount() const override { return buffer_.LossCount(); }
  int64_t LostTicks() const override { return buffer_.LostTicks(); }
  uint32_t LatencyCount() const override { return buffer_.LatencyCount(); }
  int64_t Latency() const override { return buffer_.Latency(); }

  // The endpoint goes away with this text (any thread).
  void MarkLost(std::string text);
  bool DeviceLost() const override { return lost_.load(); }
  std::string LostText() const override;

 private:
  const TimeSource& clock_;
  uint32_t deviceRate_;
  bool failStart_ = false;
  std::string failText_;
  std::string endpointId_;
  std::atomic<bool> running_{false};
  std::atomic<bool> lost_{false};
  mutable std::mutex lostMutex_;
  std::string lostText_;
  CaptureBuffer buffer_;
};

}  // namespace vesk
