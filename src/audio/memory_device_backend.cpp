#include "audio/memory_device_backend.h"

namespace vesk {

void MemoryDeviceBackend::SetEndpoints(std::vector<DeviceEntry> entries) {
  std::function<void()> listener;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_ = std::move(entries);
    listener = listener_;
  }
  if (listener) listener();
}

void MemoryDeviceBackend::SetMixRate(const std::string& id, uint32_t rate) {
  std::lock_guard<std::mutex> lock(mutex_);
  rates_[id] = rate;
}

const DeviceEntry* MemoryDeviceBackend::Find(const std::string& id, bool loopback) const {
  if (id.empty()) {
    const DeviceFlow flow = loopback ? DeviceFlow::Render : DeviceFlow::Capture;
    return CurrentDefault(entries_, flow);
  }
  for (const DeviceEntry& e : entries_)
    if (e.loopback == loopback && e.id == id) return &e;
  return nullptr;
}

bool MemoryDeviceBackend::IsActive(const std::string& id, bool loopback) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const DeviceEntry* e = Find(id, loopback);
  return e != nullptr && e->state == kDeviceActive;
}

int MemoryDeviceBackend::EnumerateCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return enumerations_;
}

std::vector<DeviceEntry> MemoryDeviceBackend::Enumerate() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++enumerations_;
  return entries_;
}

uint32_t MemoryDeviceBackend::GetMixRate(const std::string& id, bool loopback) {
  std::lock_guard<std::mutex> lock(mutex_);
  const DeviceEntry* e = Find(id, loopback);
  if (e == nullptr) return 0;
  const auto it = rates_.find(e->id);
  return it != rates_.end() ? it->second : kDefaultMixRate;
}

bool MemoryDeviceBackend::StartNotifications(std::function<void()> changed) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = std::move(changed);
  return true;
}

void MemoryDeviceBackend::StopNotifications() {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = nullptr;
}

}  // namespace vesk
