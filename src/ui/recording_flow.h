#pragma once
// The recording side of the window: start and stop (the take loaded into
// the document when it is not too long), pause, the clock, size and meter
// readings, the rate the options show, the recording folder's buttons.
//
// Threads: the user-interface thread.
#include <cstdint>
#include <filesystem>
#include <string>

#include "audio/device_catalogue.h"
#include "core/settings.h"
#include "record/recording_session.h"
#include "ui/meter_reading.h"
#include "ui/window_port.h"
#include "ui/window_state.h"

namespace vesk {
class AudioDeviceBackend;
class AudioDoc;
class CaptureStream;
class TimeSource;
}  // namespace vesk

namespace vesk::ui {

// What the recording flow asks of the controller that owns it.
class RecordingHost {
 public:
  virtual ~RecordingHost() = default;
  virtual void SaveSettings() = 0;
  // Playback and recording exclude each other (the loopback would hear it).
  virtual void StopPlayback() = 0;
  // A recording really runs: the edit area shows the live waveform of `servo`.
  virtual void RecordingStarted(PlayHeadServo& servo, uint32_t rate, int channels) = 0;
  // The recording ended; `loaded`: its take is the document now.
  virtual void RecordingEnded(bool loaded) = 0;
};

struct RecordingParts {
  AudioDeviceBackend* devices = nullptr;
  CaptureStream* microphone = nullptr;
  CaptureStream* loopback = nullptr;
};

class RecordingFlow {
 public:
  RecordingFlow(RecordingParts parts, DeviceCatalogue& catalogue, SettingsState& settings, AudioDoc& doc,
                WindowPort& port, RecordingHost& host, const TimeSource& clock);
  ~RecordingFlow();  // a running recording is stopped (its file kept)
  RecordingFlow(const RecordingFlow&) = delete;
  RecordingFlow& operator=(const RecordingFlow&) = delete;

  void Toggle();  // the record button
  // `load`: a finished take is loaded into the document (not when the window goes).
  void Stop(bool load = true);
  void TogglePause();
  void OpenLocation();
  void ChangeFolder();
  void Tick();

  bool Recording() const { return session_.IsRecording(); }
  bool Paused() const { return session_.IsPaused(); }
  MeterReading Meter() const;
  // The rate the rate list shows: the pinned one, or the device's while it follows it.
  int ShownRate() const;
  // A needed list without any working endpoint disables the start; the
  // "无输入" choice counts as satisfied (the start then explains).
  bool Startable() const;
  void Describe(WindowFacts& facts) const;

  RecordingSession& Session() { return session_; }
  // The newest recording that ended well (known across runs through LastFile).
  const std::filesystem::path& LastRecording() const { return lastRecording_; }
  void SetLastRecording(const std::filesystem::path& path) { lastRecording_ = path; }

 private:
  void Start();
  void Finish(RecordingResult& r, bool load);
  RecordingEndpoint Resolve(DeviceFlow flow) const;
  void ShowNotice(const SessionNotice& n);
  bool WantsMicrophone() const;
  bool WantsLoopback() const;

  RecordingParts parts_;
  DeviceCatalogue& catalogue_;
  SettingsState& settings_;
  AudioDoc& doc_;
  WindowPort& port_;
  RecordingHost& host_;
  RecordingSession session_;
  std::filesystem::path lastRecording_;
  std::string clock_;
  std::string size_;
};

}  // namespace vesk::ui
