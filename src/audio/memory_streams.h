#pragma once
// Capture and playback streams without a sound server. Each runs a thread
// at the pace of the wall clock, like a device: the capture stream delivers
// 10 ms packets of a tone (or silence, or nothing) through the same packet
// path as the real streams, so meters, rings and the lost-device report
// behave as they do on a card; the playback stream renders 10 ms blocks and
// advances its position until the buffer has played out.
//
// With a MemoryDeviceBackend the streams open only endpoints that are
// active there and take their mix rates from it.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "audio/capture_stream.h"
#include "audio/playback_stream.h"

namespace vesk {

class MemoryDeviceBackend;

// What a memory capture stream delivers while it runs.
enum class MemoryFeed {
  Tone,     // a sine on every channel
  Silence,  // packets flagged silent
  Nothing,  // no packets at all (an idle loopback endpoint)
};

class MemoryCaptureStream final : public CaptureStream {
 public:
  static constexpr uint32_t kPacketsPerSecond = 100;

  explicit MemoryCaptureStream(MemoryDeviceBackend* devices = nullptr, uint16_t deviceChannels = 2);
  ~MemoryCaptureStream() override;

  // Set before Start.
  void SetTone(double frequency, float amplitude);
  void SetFeed(MemoryFeed feed);
  // The next Start fails with this text.
  void FailNextStart(std::string text);
  // The endpoint goes away: the capture thread stops delivering and reports
  // the device lost. Any thread.
  void Disappear();
  // The next `count` packets are lost on the device side: not delivered, and
  // the packet after them comes flagged as following a discontinuity. Any
  // thread.
  void SkipPackets(uint32_t count) { skip_.store(count); }

  bool Start(const std::string& endpointId, bool loopback, uint16_t channels, uint32_t rate,
             std::string& error) override;
  void Stop() override;

  uint64_t PacketsDelivered() const { return packets_.load(); }
  uint32_t StartCount() const { return starts_.load(); }

 private:
  void Run(uint32_t rate);

  MemoryDeviceBackend* devices_;
  uint16_t deviceChannels_;
  double frequency_ = 440.0;
  float amplitude_ = 0.5f;
  MemoryFeed feed_ = MemoryFeed::Tone;
  std::string failText_;
  bool failNext_ = false;
  std::atomic<bool> disappear_{false};
  std::atomic<uint32_t> skip_{0};
  std::atomic<uint64_t> packets_{0};
  std::atomic<uint32_t> starts_{0};
  std::thread thread_;
};

class MemoryPlaybackStream final : public PlaybackStream {
 public:
  static constexpr uint32_t kBlocksPerSecond = 100;

  explicit MemoryPlaybackStream(MemoryDeviceBackend* devices = nullptr, uint32_t deviceRate = 48000,
                                uint16_t deviceChannels = 2);
  ~MemoryPlaybackStream() override;

  void FailNextStart(std::string text);
  void Stop() override;

  // The endpoint of the last successful start ("" = the default).
  std::string LastEndpoint() const;
  uint32_t StartCount() const { return starts_.load(); }

 protected:
  bool StartDevice(std::string& error) override;

 private:
  void Run();

  MemoryDeviceBackend* devices_;
  uint32_t deviceRate_;
  uint16_t deviceChannels_;
  std::string failText_;
  bool failNext_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<uint32_t> starts_{0};
  mutable std::mutex mutex_;
  std::string lastEndpoint_;
  std::thread thread_;
};

}  // namespace vesk
