#include "audio/memory_streams.h"

#include <chrono>
#include <cmath>
#include <vector>

#include "audio/memory_device_backend.h"
#include "platform/clock.h"

namespace vesk {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

MemoryCaptureStream::MemoryCaptureStream(MemoryDeviceBackend* devices, uint16_t deviceChannels)
    : devices_(devices), deviceChannels_(deviceChannels == 1 ? 1 : 2) {}

MemoryCaptureStream::~MemoryCaptureStream() { Stop(); }

void MemoryCaptureStream::SetTone(double frequency, float amplitude) {
  frequency_ = frequency;
  amplitude_ = amplitude;
}

void MemoryCaptureStream::SetFeed(MemoryFeed feed) { feed_ = feed; }

void MemoryCaptureStream::FailNextStart(std::string text) {
  failNext_ = true;
  failText_ = std::move(text);
}

void MemoryCaptureStream::Disappear() { disappear_.store(true); }

bool MemoryCaptureStream::Start(const std::string& endpointId, bool loopback, uint16_t channels, uint32_t rate,
                                std::string& error) {
  if (running_.load()) return false;
  if (thread_.joinable()) thread_.join();  // a stream that lost its device ended by itself
  ResetForStart(endpointId, loopback, channels, rate);
  error.clear();
  if (failNext_) {
    failNext_ = false;
    running_.store(false);
    error = failText_.empty() ? std::string("打开录音设备失败。") : failText_;
    return false;
  }
  if (devices_ != nullptr && !devices_->IsActive(endpointId, loopback)) {
    running_.store(false);
    error = "打开录音设备失败。";
    return false;
  }
  const uint32_t deviceRate = devices_ != nullptr ? devices_->GetMixRate(endpointId, loopback) : 48000;
  const uint32_t streamRate = rate != 0 ? rate : deviceRate;
  BeginCapture(streamRate, deviceRate, DeviceSampleFormat{deviceChannels_, 32, true});
  disappear_.store(false);
  starts_.fetch_add(1);
  opened_.store(true);
  thread_ = std::thread(&MemoryCaptureStream::Run, this, streamRate);
  return true;
}

void MemoryCaptureStream::Stop() {
  running_.store(false);
  if (thread_.joinable()) thread_.join();
  opened_.store(false);
  ZeroMeters();
}

void MemoryCaptureStream::Run(uint32_t rate) {
  const size_t frames = rate / kPacketsPerSecond;
  std::vector<float> packet(frames * deviceChannels_);
  const double step = kTwoPi * frequency_ / double(rate);
  double phase = 0;
  const int64_t packetTicks = int64_t(frames) * 10'000'000 / int64_t(rate);
  // Packets are stamped with when their first frame was captured, as a
  // device does; a thread that wakes late delivers what it owes at once,
  // each packet with its own time.
  const int64_t origin = Now100ns();
  auto next = SteadyClock::now();
  bool skipped = false;
  for (int64_t index = 0; running_.load(); ++index) {
    next += std::chrono::milliseconds(1000 / kPacketsPerSecond);
    std::this_thread::sleep_until(next);
    if (!running_.load()) break;
    if (disappear_.load()) {
      MarkDeviceLost();
      break;
    }
    const int64_t stamp = origin + index * packetTicks;
    if (skip_.load() > 0) {
      skip_.fetch_sub(1);
      skipped = true;
      phase = std::fmod(phase + step * double(frames), kTwoPi);
      continue;
    }
    if (skipped) NoteDiscontinuity();
    skipped = false;
    switch (feed_) {
      case MemoryFeed::Tone:
        for (size_t i = 0; i < frames; ++i) {
          const float v = amplitude_ * float(std::sin(phase));
          phase += step;
          if (phase > kTwoPi) phase -= kTwoPi;
          for (uint16_t c = 0; c < deviceChannels_; ++c) packet[i * deviceChannels_ + c] = v;
        }
        OnPacket(packet.data(), frames, false, stamp);
        break;
      case MemoryFeed::Silence:
        OnPacket(nullptr, frames, true, stamp);
        break;
      case MemoryFeed::Nothing:
        continue;
    }
    packets_.fetch_add(1);
  }
}

MemoryPlaybackStream::MemoryPlaybackStream(MemoryDeviceBackend* devices, uint32_t deviceRate, uint16_t deviceChannels)
    : devices_(devices), deviceRate_(deviceRate), deviceChannels_(deviceChannels == 0 ? 2 : deviceChannels) {}

MemoryPlaybackStream::~MemoryPlaybackStream() { Stop(); }

void MemoryPlaybackStream::FailNextStart(std::string text) {
  failNext_ = true;
  failText_ = std::move(text);
}

std::string MemoryPlaybackStream::LastEndpoint() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastEndpoint_;
}

void MemoryPlaybackStream::Stop() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  running_.store(false);
  opened_.store(false);
  ForgetBuffer();
}

bool MemoryPlaybackStream::StartDevice(std::string& error) {
  if (failNext_) {
    failNext_ = false;
    error = failText_.empty() ? std::string("打开播放设备失败。") : failText_;
    return false;
  }
  if (devices_ != nullptr && !devices_->IsActive(endpointId_, true)) {
    error = "打开播放设备失败。";
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lastEndpoint_ = endpointId_;
  }
  PrepareRender(deviceRate_, DeviceSampleFormat{deviceChannels_, 32, true});
  starts_.fetch_add(1);
  stop_.store(false);
  opened_.store(true);
  thread_ = std::thread(&MemoryPlaybackStream::Run, this);
  return true;
}

void MemoryPlaybackStream::Run() {
  const size_t frames = deviceRate_ / kBlocksPerSecond;
  std::vector<float> block(frames * deviceChannels_);
  auto next = SteadyClock::now();
  while (!stop_.load()) {
    next += std::chrono::milliseconds(1000 / kBlocksPerSecond);
    std::this_thread::sleep_until(next);
    if (stop_.load()) break;
    if (!Render(block.data(), frames)) {
      running_.store(false);
      break;
    }
  }
}

}  // namespace vesk
