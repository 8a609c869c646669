#pragma once
// A sound system that lives in memory: scripted endpoints that can come,
// go and change state, per-endpoint mix rates, and change notifications
// delivered when the script changes. The controller and its tests run on it
// without a sound server; the memory streams (memory_streams.h) ask it
// whether the endpoint they open exists.
//
// Threads: every operation may be called from any thread. A change made by
// SetEndpoints calls the notification callback on the calling thread.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_backend.h"

namespace vesk {

class MemoryDeviceBackend final : public AudioDeviceBackend {
 public:
  static constexpr uint32_t kDefaultMixRate = 48000;

  MemoryDeviceBackend() = default;
  explicit MemoryDeviceBackend(std::vector<DeviceEntry> entries) : entries_(std::move(entries)) {}

  // Replaces the endpoints (capture ones first, as a system lists them) and
  // notifies the registered listener.
  void SetEndpoints(std::vector<DeviceEntry> entries);
  // The mix rate reported for `id` (every endpoint has kDefaultMixRate
  // until set).
  void SetMixRate(const std::string& id, uint32_t rate);
  // True when `id` (empty: the default of the flow) names an active endpoint
  // of the flow right now.
  bool IsActive(const std::string& id, bool loopback) const;
  // How often Enumerate ran.
  int EnumerateCount() const;

  std::vector<DeviceEntry> Enumerate() override;
  uint32_t GetMixRate(const std::string& id, bool loopback) override;
  bool StartNotifications(std::function<void()> changed) override;
  void StopNotifications() override;

 private:
  const DeviceEntry* Find(const std::string& id, bool loopback) const;

  mutable std::mutex mutex_;
  std::vector<DeviceEntry> entries_;
  std::map<std::string, uint32_t> rates_;
  std::function<void()> listener_;
  int enumerations_ = 0;
};

}  // namespace vesk
