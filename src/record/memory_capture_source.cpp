#include "record/memory_capture_source.h"

namespace vesk {

bool MemoryCaptureSource::Start(const std::string& endpointId, bool, uint16_t channels, uint32_t rate,
                                std::string& error) {
  if (running_.load()) return false;
  if (failStart_) {
    failStart_ = false;
    error = failText_;
    return false;
  }
  endpointId_ = endpointId;
  lost_.store(false);
  buffer_.Prepare(rate != 0 ? rate : deviceRate_, channels == 1 ? 1 : 2);
  running_.store(true);
  return true;
}

size_t MemoryCaptureSource::Push(const float* samples, size_t frames, int64_t timestamp) {
  return buffer_.Deliver(samples, frames, timestamp, clock_.Now100ns());
}

void MemoryCaptureSource::MarkLost(std::string text) {
  {
    std::lock_guard<std::mutex> lock(lostMutex_);
    lostText_ = std::move(text);
  }
  lost_.store(true);
}

std::string MemoryCaptureSource::LostText() const {
  std::lock_guard<std::mutex> lock(lostMutex_);
  return lostText_;
}

}  // namespace vesk
