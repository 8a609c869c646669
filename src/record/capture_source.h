#pragma once
// What the SourceMixer reads from a capture stream. The real streams of the
// audio subsystem and the in-memory source of the tests implement it; both
// keep their frames and counters in a CaptureBuffer.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "record/sample_ring.h"

namespace vesk {

class CaptureSource {
 public:
  virtual ~CaptureSource() = default;

  // Opens the endpoint (empty id = the system default of its flow) and starts
  // delivering frames of `channels` (1, anything else means 2) at `rate`
  // (0 = the device's own). False with a Chinese error text on failure; false
  // when already running. Called on the user-interface thread.
  virtual bool Start(const std::string& endpointId, bool loopback, uint16_t channels, uint32_t rate,
                     std::string& error) = 0;
  // Stops delivering; safe on a source that never started. The ring keeps
  // its content for the mixer to drain.
  virtual void Stop() = 0;

  // The rest may be called from any thread while the source runs.
  // Rate of the frames in the ring (0 before a successful Start).
  virtual uint32_t Rate() const = 0;
  virtual SampleRing& Ring() = 0;
  // Timestamp of the oldest frame in the ring, 0 when none is known.
  virtual int64_t HeadTimestamp() const = 0;
  // Frames delivered since Start, whether the ring took them or not.
  virtual uint64_t CapturedFrames() const = 0;
  // Frames the ring refused since Start.
  virtual uint64_t OverflowFrames() const = 0;
  // Holes in what was captured since Start: stretches the device reported it
  // did not deliver, and runs of frames the ring refused; their total length.
  virtual uint64_t LossCount() const = 0;
  virtual int64_t LostTicks() const = 0;
  // Latency measurements taken (at most 10) and the smallest, in ticks.
  virtual uint32_t LatencyCount() const = 0;
  virtual int64_t Latency() const = 0;
  // The endpoint went away while the source ran (unplugged, disabled, taken
  // over); it delivers nothing more. Cleared by the next Start.
  virtual bool DeviceLost() const = 0;
  // What to tell the user about the loss; valid once DeviceLost() was seen
  // true, may be empty.
  virtual std::string LostText() const = 0;
};

// The ring and counters shared by every CaptureSource implementation. The
// capture thread calls Deliver; everyone else reads.
class CaptureBuffer {
 public:
  static constexpr uint32_t kLatencyMeasurements = 10;
  static constexpr uint32_t kRingSeconds = 8;

  // Sizes the ring for kRingSeconds and clears every counter. Call before the
  // capture thread delivers.
  void Prepare(uint32_t rate, uint16_t channels);
  // Writes one packet of `frames` frames stamped with `timestamp` (0 = none),
  // measures its latency against `now` and counts what the ring took and
  // refused. Returns the frames the ring took.
  size_t Deliver(const float* samples, size_t frames, int64_t timestamp, int64_t now);
  // The device reports a stretch it did not deliver, `ticks` long (0 when it
  // does not say how long).
  void NoteLoss(int64_t ticks);

  uint32_t Rate() const { return rate_.load(std::memory_order_acquire); }
  uint16_t Channels() const { return channels_.load(std::memory_order_acquire); }
  SampleRing& Ring() { return ring_; }
  int64_t HeadTimestamp() const { return head_.load(std::memory_order_acquire); }
  uint64_t CapturedFrames() const { return captured_.load(std::memory_order_acquire); }
  uint64_t OverflowFrames() const { return overflow_.load(std::memory_order_acquire); }
  uint64_t LossCount() const { return losses_.load(std::memory_order_acquire); }
  int64_t LostTicks() const { return lostTicks_.load(std::memory_order_acquire); }
  uint32_t LatencyCount() const { return latencyCount_.load(std::memory_order_acquire); }
  int64_t Latency() const { return latency_.load(std::memory_order_acquire); }

 private:
  SampleRing ring_;
  std::atomic<int64_t> head_{0};
  std::atomic<uint32_t> rate_{0};
  std::atomic<uint16_t> channels_{1};
  std::atomic<uint64_t> captured_{0};
  std::atomic<uint64_t> overflow_{0};
  std::atomic<uint32_t> latencyCount_{0};
  std::atomic<int64_t> latency_{0};
  std::atomic<uint64_t> losses_{0};
  std::atomic<int64_t> lostTicks_{0};
  bool refusing_ = false;  // the last packet was refused (capture thread)
};

}  // namespace vesk
