#pragma once
// One shared-mode capture stream: a microphone, or an output device recorded
// in loopback. The backend (PulseCaptureStream, WasapiCaptureStream) opens the
// endpoint and hands every packet to OnPacket on its capture thread; this
// class converts it to float at the recording's channel count, stamps it,
// meters it and writes it into the ring the SourceMixer reads.
//
// Threads: Start/Stop on the caller's thread; OnPacket, MarkDeviceLost and
// every write of a meter, counter or flag on the capture thread only; the
// readers below from any thread.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "record/capture_source.h"

namespace vesk {

// Sample layout of the packets a device delivers.
struct DeviceSampleFormat {
  uint16_t channels = 2;
  uint16_t bits = 32;
  bool isFloat = true;
  size_t BytesPerFrame() const { return size_t(channels) * (bits / 8); }
};

struct PacketMeters {
  float peak[2] = {0, 0};
  float rms[2] = {0, 0};
};

// Converts `frames` device frames (up to 8 channels read) into
// frames × targetChannels floats limited to [-1, 1] and measures peak and RMS
// per target channel in the same pass. Unknown integer widths give zeros.
void ConvertPacket(const void* data, size_t frames, const DeviceSampleFormat& format, uint16_t targetChannels,
                   float* out, PacketMeters& meters);

// The loopback diagnostic switches (VESK_LOOPBACK_DROP_ALL, _DROP_FROM,
// _DROP_UNTIL, _CATCH_UP); read once per process.
struct CaptureSwitches {
  bool dropAll = false;
  double dropFromSeconds = -1;   // < 0: off
  double dropUntilSeconds = -1;  // < 0: off
  double catchUpSeconds = 0;     // 0: off
  static CaptureSwitches FromEnvironment();
  // Whether a packet `elapsedMs` after the start is discarded, and whether
  // it counts as owed for the catch-up.
  bool Discards(uint64_t elapsedMs, bool& owed) const;
};

// VESK_CAPTURE_HOLD="<seconds>:<milliseconds>": the capture thread sleeps
// once, for the milliseconds, in the first packet at least the seconds after
// the stream started (a busy machine's late thread, on cue). Read at every
// Start; { -1, 0 } when unset or malformed.
struct CaptureHold {
  int64_t atMs = -1;
  int64_t forMs = 0;
  static CaptureHold FromEnvironment();
};

class CaptureStream : public CaptureSource {
 public:
  static constexpr const char* kLostText = "录音设备在录音过程中断开了（被拔掉 / 被其他程序独占 / 被禁用）。";

  ~CaptureStream() override = default;

  uint32_t Rate() const override { return buffer_.Rate(); }
  SampleRing& Ring() override { return buffer_.Ring(); }
  int64_t HeadTimestamp() const override { return buffer_.HeadTimestamp(); }
  uint64_t CapturedFrames() const override { return buffer_.CapturedFrames(); }
  uint64_t OverflowFrames() const override { return buffer_.OverflowFrames(); }
  uint64_t LossCount() const override { return buffer_.LossCount(); }
  int64_t LostTicks() const override { return buffer_.LostTicks(); }
  uint32_t LatencyCount() const override { return buffer_.LatencyCount(); }
  int64_t Latency() const override { return buffer_.Latency(); }

  // Meters of target channel 0 or 1.
  float Peak(int channel) const { return meters_[channel & 1].peak.load(std::memory_order_relaxed); }
  float PeakHold(int channel) const { return meters_[channel & 1].hold.load(std::memory_order_relaxed); }
  float Rms(int channel) const { return meters_[channel & 1].rms.load(std::memory_order_relaxed); }
  bool Clipped(int channel) const { return meters_[channel & 1].clip.load(std::memory_order_relaxed); }
  // Clears clip flags and peaks (the window does so when a recording starts).
  void ClearClipsAndPeaks();

  bool Running() const { return running_.load(std::memory_order_acquire); }
  bool DeviceLost() const override { return deviceLost_.load(std::memory_order_acquire); }
  std::string LostText() const override;
  const std::string& EndpointId() const { return endpointId_; }
  bool Loopback() const { return loopback_; }
  uint16_t TargetChannels() const { return targetChannels_; }
  const DeviceSampleFormat& DeviceFormat() const { return deviceFormat_; }
  uint32_t DeviceRate() const { return deviceRate_; }

  // Packet entry for the backend and for tests: `data` in the device format
  // given to BeginCapture (ignored when silent), stamped with `timestamp` on
  // the 100-ns clock (0 = unknown). `arrival` is when the backend received it
  // (0: now); the latency figure is measured against it.
  void OnPacket(const void* data, size_t frames, bool silent, int64_t timestamp, int64_t arrival = 0);
  // The device says audio is missing before the next packet (WASAPI's
  // discontinuity flag, a PulseAudio overflow); capture thread. The next
  // packet counts the hole, its length taken from the timestamps.
  void NoteDiscontinuity() { discontinuity_ = true; }

 protected:
  // Called by Start before the thread opens the device.
  void ResetForStart(const std::string& endpointId, bool loopback, uint16_t channels, uint32_t rate);
  // Called on the capture thread once the device format is known and before
  // the first packet: sizes the ring (8 s) and the scratch buffer (1 s).
  void BeginCapture(uint32_t streamRate, uint32_t deviceRate, const DeviceSampleFormat& format);
  // The device went away: lost text, flag and the log line.
  void MarkDeviceLost();
  void ZeroMeters();

  std::string endpointId_;
  bool loopback_ = false;
  uint16_t targetChannels_ = 2;
  uint32_t targetRate_ = 0;
  uint32_t deviceRate_ = 0;
  DeviceSampleFormat deviceFormat_;
  std::atomic<bool> running_{false};
  std::atomic<bool> opened_{false};
  std::atomic<bool> deviceLost_{false};

 private:
  struct ChannelMeter {
    std::atomic<float> peak{0}, hold{0}, rms{0};
    std::atomic<bool> clip{false};
  };
  void UpdateMeters(const PacketMeters& m);

  CaptureBuffer buffer_;
  ChannelMeter meters_[2];
  std::vector<float> scratch_;
  mutable std::mutex lostMutex_;
  std::string lostText_;
  uint64_t startMs_ = 0;
  uint64_t owedFrames_ = 0;
  CaptureHold hold_;
  bool discontinuity_ = false;
  int64_t lastEnd_ = 0;      // timestamp just after the last packet, 0 = none yet
  bool lastRefused_ = false;
};

// The platform's capture stream.
std::unique_ptr<CaptureStream> CreateCaptureStream();

}  // namespace vesk
