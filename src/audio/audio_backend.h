#pragma once
// The operating system's side of the device catalogue: endpoint enumeration,
// mix rates and change notification. One implementation per platform
// (PulseAudio on Linux, Core Audio on Windows); CreateAudioDeviceBackend
// returns it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/device_catalogue.h"

namespace vesk {

class AudioDeviceBackend {
 public:
  virtual ~AudioDeviceBackend() = default;
  // Capture endpoints in enumeration order, then render endpoints; nothing
  // when the sound system cannot be reached.
  virtual std::vector<DeviceEntry> Enumerate() = 0;
  // The mix rate of the endpoint `id` (empty: the default render endpoint
  // for loopback, else the default capture endpoint); 0 on any failure.
  virtual uint32_t GetMixRate(const std::string& id, bool loopback) = 0;
  // Calls `changed` from a system thread whenever endpoints come, go, change
  // state or the defaults change. The callback must only set a flag. One
  // registration per backend; it ends with StopNotifications or destruction.
  virtual bool StartNotifications(std::function<void()> changed) = 0;
  virtual void StopNotifications() = 0;
};

std::unique_ptr<AudioDeviceBackend> CreateAudioDeviceBackend();

}  // namespace vesk
