#pragma once
// An AppController over the in-memory sound system and a scripted view: a
// default microphone that hears 440 Hz, default speakers whose loopback
// hears 1000 Hz, unplugged headphones, and settings in a scratch folder.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/memory_device_backend.h"
#include "audio/memory_streams.h"
#include "core/settings_store.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "ui/app_controller.h"
#include "ui/app_parts.h"
#include "ui/control_ids.h"
#include "support/scripted_view.h"

namespace vesk::test {

inline std::vector<DeviceEntry> StandardEndpoints() {
  return {{"mic1", "USB 麦克风", false, true, kDeviceActive},
          {"spk1", "扬声器", true, true, kDeviceActive},
          {"spk2", "耳机", true, false, kDeviceUnplugged}};
}

class ControllerRig {
 public:
  // `ini` holds settings lines written before the start ("Format=1").
  explicit ControllerRig(const std::vector<std::string>& ini = {"Format=1", "BitDepth=16"},
                         std::vector<DeviceEntry> endpoints = StandardEndpoints(),
                         const std::function<void(ui::AppOptions&)>& adjust = {})
      : backend(new MemoryDeviceBackend(std::move(endpoints))) {
    std::string text = "[VeskRecorder]\r\n";
    for (const std::string& line : ini) text += line + "\r\n";
    WriteBytes(IniPath(), std::vector<uint8_t>(text.begin(), text.end()));
    ui::AppParts parts;
    parts.devices.reset(backend);
    microphone = new MemoryCaptureStream(backend, 1);
    loopback = new MemoryCaptureStream(backend, 2);
    microphone->SetTone(440, 0.5f);
    loopback->SetTone(1000, 0.5f);
    playback = new MemoryPlaybackStream(backend);
    parts.microphone.reset(microphone);
    parts.loopback.reset(loopback);
    parts.playback.reset(playback);
    ui::AppOptions options;
    options.settingsFile = IniPath();
    options.settingsEnvironment = {dir.path(), dir.path()};
    options.scanPlugins = false;
    options.desktopDir = dir.path() / "desktop";
    options.logFile = dir.path() / "logs" / "current.log";
    options.logFolder = dir.path() / "logs";
    if (adjust) adjust(options);
    controller = std::make_unique<ui::AppController>(std::move(parts), view, view, options);
  }

  std::filesystem::path IniPath() const { return dir.path() / "VeskRecorder.ini"; }
  std::filesystem::path OutputDir() const { return dir.path() / PathFromUtf8("VESK录音"); }
  std::string Ini(const std::string& key) const {
    IniStore store(IniPath());
    store.Load();
    return store.GetString(key);
  }

  ui::AppController& operator*() { return *controller; }
  ui::AppController* operator->() { return controller.get(); }

  // Runs the 33 ms tick for `ms` of wall time.
  void Run(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
      controller->OnTick();
      std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
  }
  // The view's loop after a wake-up: runs what was posted; false when nothing was.
  bool RunPosted() { return controller->OnWake(); }
  // `n` ticks back to back, for what the controller counts in ticks.
  void Tick(int n) {
    for (int i = 0; i < n; ++i) controller->OnTick();
  }
  // Ticks until `done` holds or `ms` passed; true when it held.
  template <typename F>
  bool RunUntil(int ms, F done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
      controller->OnTick();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
    return done();
  }

  ScratchDir dir;
  ScriptedView view;
  MemoryDeviceBackend* backend;
  MemoryCaptureStream* microphone = nullptr;
  MemoryCaptureStream* loopback = nullptr;
  MemoryPlaybackStream* playback = nullptr;
  std::unique_ptr<ui::AppController> controller;
};

}  // namespace vesk::test
