#include "audio/capture_stream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/app_log.h"
#include "platform/clock.h"

namespace vesk {
namespace {

float Limit(double v) { return float(v < -1.0 ? -1.0 : (v > 1.0 ? 1.0 : v)); }

// One device sample as a float (before limiting).
inline double ReadSample(const uint8_t* p, const DeviceSampleFormat& f) {
  if (f.isFloat) {
    if (f.bits == 32) {
      float v;
      std::memcpy(&v, p, 4);
      return std::isfinite(v) ? v : 0.0;
    }
    return 0.0;
  }
  switch (f.bits) {
    case 16: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return v * 3.0517578e-5;
    }
    case 24: {
      int32_t v = int32_t(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16));
      if (v & 0x800000) v -= 0x1000000;
      return v * 1.1920929e-7;
    }
    case 32: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v * 4.656613e-10;
    }
    default:
      return 0.0;
  }
}

double SwitchSeconds(const char* name, double off) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return off;
  char* end = nullptr;
  const double d = std::strtod(v, &end);
  return (end == v || !std::isfinite(d)) ? off : d;
}

}  // namespace

void ConvertPacket(const void* data, size_t frames, const DeviceSampleFormat& format, uint16_t targetChannels,
                   float* out, PacketMeters& meters) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  const size_t stride = format.BytesPerFrame();
  const size_t sampleBytes = format.bits / 8;
  const int readChannels = std::min<int>(format.channels, 8);
  double sum[2] = {0, 0};
  float peak[2] = {0, 0};
  for (size_t i = 0; i < frames; ++i) {
    const uint8_t* frame = bytes + i * stride;
    if (targetChannels == 1) {
      double acc = 0;
      for (int c = 0; c < readChannels; ++c) acc += ReadSample(frame + c * sampleBytes, format);
      const float v = Limit(readChannels > 0 ? acc / readChannels : 0.0);
      out[i] = v;
      peak[0] = std::max(peak[0], std::fabs(v));
      sum[0] += double(v) * v;
    } else {
      const float l = readChannels > 0 ? Limit(ReadSample(frame, format)) : 0.0f;
      const float r = readChannels > 1 ? Limit(ReadSample(frame + sampleBytes, format)) : l;
      out[2 * i] = l;
      out[2 * i + 1] = r;
      peak[0] = std::max(peak[0], std::fabs(l));
      peak[1] = std::max(peak[1], std::fabs(r));
      sum[0] += double(l) * l;
      sum[1] += double(r) * r;
    }
  }
  for (int c = 0; c < 2; ++c) {
    meters.peak[c] = peak[c];
    meters.rms[c] = frames > 0 ? float(std::sqrt(sum[c] / double(frames))) : 0.0f;
  }
  if (targetChannels == 1) {
    meters.peak[1] = meters.peak[0];
    meters.rms[1] = meters.rms[0];
  }
}

CaptureSwitches CaptureSwitches::FromEnvironment() {
  CaptureSwitches s;
  const char* all = std::getenv("VESK_LOOPBACK_DROP_ALL");
  s.dropAll = all != nullptr && all[0] == '1';
  s.dropFromSeconds = SwitchSeconds("VESK_LOOPBACK_DROP_FROM", -1);
  s.dropUntilSeconds = SwitchSeconds("VESK_LOOPBACK_DROP_UNTIL", -1);
  s.catchUpSeconds = std::max(0.0, SwitchSeconds("VESK_LOOPBACK_CATCH_UP", 0));
  return s;
}

bool CaptureSwitches::Discards(uint64_t elapsedMs, bool& owed) const {
  owed = false;
  if (dropAll) return true;
  if (dropFromSeconds >= 0 && double(elapsedMs) >= dropFromSeconds * 1000.0) return true;
  if (dropUntilSeconds >= 0 && double(elapsedMs) < dropUntilSeconds * 1000.0) {
    owed = true;
    return true;
  }
  return false;
}

CaptureHold CaptureHold::FromEnvironment() {
  CaptureHold h;
  const char* v = std::getenv("VESK_CAPTURE_HOLD");
  if (v == nullptr || *v == '\0') return h;
  char* end = nullptr;
  const double at = std::strtod(v, &end);
  if (end == v || *end != ':' || !std::isfinite(at) || at < 0) return h;
  const char* rest = end + 1;
  const double ms = std::strtod(rest, &end);
  if (end == rest || !std::isfinite(ms) || ms <= 0) return h;
  h.atMs = int64_t(at * 1000.0);
  h.forMs = int64_t(ms);
  return h;
}

void CaptureStream::ClearClipsAndPeaks() {
  for (ChannelMeter& m : meters_) {
    m.clip.store(false, std::memory_order_relaxed);
    m.peak.store(0, std::memory_order_relaxed);
    m.hold.store(0, std::memory_order_relaxed);
  }
}

void CaptureStream::ZeroMeters() {
  for (ChannelMeter& m : meters_) {
    m.peak.store(0, std::memory_order_relaxed);
    m.hold.store(0, std::memory_order_relaxed);
    m.rms.store(0, std::memory_order_relaxed);
  }
}

std::string CaptureStream::LostText() const {
  std::lock_guard<std::mutex> lock(lostMutex_);
  return lostText_;
}

void CaptureStream::ResetForStart(const std::string& endpointId, bool loopback, uint16_t channels, uint32_t rate) {
  endpointId_ = endpointId;
  loopback_ = loopback;
  targetChannels_ = channels == 1 ? 1 : 2;
  targetRate_ = rate;
  hold_ = CaptureHold::FromEnvironment();
  opened_.store(false, std::memory_order_release);
  deviceLost_.store(false, std::memory_order_release);
  running_.store(true, std::memory_order_release);
}

void CaptureStream::BeginCapture(uint32_t streamRate, uint32_t deviceRate, const DeviceSampleFormat& format) {
  deviceRate_ = deviceRate;
  deviceFormat_ = format;
  buffer_.Prepare(streamRate, targetChannels_);
  scratch_.assign(size_t(streamRate) * targetChannels_, 0.0f);
  {
    std::lock_guard<std::mutex> lock(lostMutex_);
    lostText_.clear();
  }
  deviceLost_.store(false, std::memory_order_release);
  for (ChannelMeter& m : meters_) m.clip.store(false, std::memory_order_relaxed);
  startMs_ = TickMs();
  owedFrames_ = 0;
  discontinuity_ = false;
  lastEnd_ = 0;
  lastRefused_ = false;
}

void CaptureStream::MarkDeviceLost() {
  {
    std::lock_guard<std::mutex> lock(lostMutex_);
    lostText_ = kLostText;
  }
  if (!deviceLost_.exchange(true, std::memory_order_acq_rel))
    AppLog("[cap] 设备丢失 id=%s：%s", endpointId_.c_str(), kLostText);
}

void CaptureStream::UpdateMeters(const PacketMeters& m) {
  for (int c = 0; c < 2; ++c) {
    ChannelMeter& cm = meters_[c];
    cm.peak.store(m.peak[c], std::memory_order_relaxed);
    cm.rms.store(m.rms[c], std::memory_order_relaxed);
    cm.hold.store(std::max(cm.hold.load(std::memory_order_relaxed) * 0.97f, m.peak[c]), std::memory_order_relaxed);
    if (m.peak[c] >= 0.9995f) cm.clip.store(true, std::memory_order_relaxed);
  }
}

void CaptureStream::OnPacket(const void* data, size_t frames, bool silent, int64_t timestamp, int64_t arrival) {
  if (frames == 0) return;
  if (hold_.atMs >= 0 && TickMs() - startMs_ >= uint64_t(hold_.atMs)) {
    AppLog("[cap] VESK_CAPTURE_HOLD：采集线程停 %lld ms id=%s", (long long)hold_.forMs, endpointId_.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(hold_.forMs));
    hold_.atMs = -1;
  }
  const uint32_t rate = buffer_.Rate();
  if (loopback_) {
    static const CaptureSwitches switches = CaptureSwitches::FromEnvironment();
    bool owed = false;
    if (switches.Discards(TickMs() - startMs_, owed)) {
      if (owed && switches.catchUpSeconds > 0) owedFrames_ += frames;
      return;
    }
    if (owedFrames_ > 0 && switches.catchUpSeconds > 0) {
      uint64_t silence = std::min<uint64_t>(owedFrames_, uint64_t(double(rate) * switches.catchUpSeconds));
      owedFrames_ = 0;
      std::fill(scratch_.begin(), scratch_.end(), 0.0f);
      const size_t chunk = scratch_.size() / targetChannels_;
      while (silence > 0 && chunk > 0) {
        const size_t n = size_t(std::min<uint64_t>(silence, chunk));
        const int64_t now = Now100ns();
        buffer_.Deliver(scratch_.data(), n, now, now);
        silence -= n;
      }
    }
  }
  const size_t cap = targetChannels_ > 0 ? scratch_.size() / targetChannels_ : 0;
  if (cap == 0) return;
  if (discontinuity_) {
    discontinuity_ = false;
    // A device may flag its very first packet; nothing was lost before it.
    if (lastEnd_ != 0) {
      const int64_t gap = timestamp != 0 ? std::max<int64_t>(timestamp - lastEnd_, 0) : 0;
      buffer_.NoteLoss(gap);
      AppLog("[cap] 丢失：设备报告数据不连续 id=%s 约 %lld ms（累计 %llu 处）", endpointId_.c_str(),
             (long long)(gap / 10'000), (unsigned long long)buffer_.LossCount());
    }
  }
  if (timestamp != 0 && rate > 0) lastEnd_ = timestamp + int64_t(frames) * 10'000'000 / rate;
  const auto* bytes = static_cast<const uint8_t*>(data);
  const size_t stride = deviceFormat_.BytesPerFrame();
  // Packets longer than the scratch buffer (one second) go in pieces; the
  // timestamp of each piece moves on by the duration before it.
  size_t done = 0;
  while (done < frames) {
    const size_t n = std::min(cap, frames - done);
    const int64_t stamp = (timestamp != 0 && rate > 0) ? timestamp + int64_t(done) * 10'000'000 / rate : timestamp;
    PacketMeters m;
    if (silent || data == nullptr) {
      std::fill(scratch_.begin(), scratch_.begin() + ptrdiff_t(n * targetChannels_), 0.0f);
      for (ChannelMeter& cm : meters_) {
        cm.peak.store(0, std::memory_order_relaxed);
        cm.rms.store(0, std::memory_order_relaxed);
      }
    } else {
      ConvertPacket(bytes + done * stride, n, deviceFormat_, targetChannels_, scratch_.data(), m);
      UpdateMeters(m);
    }
    const size_t taken = buffer_.Deliver(scratch_.data(), n, stamp, arrival != 0 ? arrival : Now100ns());
    if (taken < n && !lastRefused_)
      AppLog("[cap] 丢失：环已满，拒收 %zu 帧 id=%s（累计 %llu 处）", n - taken, endpointId_.c_str(),
             (unsigned long long)buffer_.LossCount());
    lastRefused_ = taken < n;
    done += n;
  }
}

}  // namespace vesk
