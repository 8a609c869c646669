#pragma once
// The window application minus drawing: it owns the document, the recording
// session, the playback stream, the device catalogue, the settings in memory
// and the denoise state, routes every command of the main window by control
// id, decides enabling, texts and confirmations, and drives the 33 ms tick.
// The Windows and the Qt window are thin views: they create the controls of
// MainLayout, forward input here and implement ViewPort.
//
// Threads: every call on the user-interface thread, except
// NotifyDevicesChanged, which any thread may call.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "ui/view_port.h"

namespace vesk {
class AudioDeviceBackend;
class CaptureStream;
class PlaybackStream;
class AudioDoc;
class TimeSource;
}  // namespace vesk

namespace vesk::ui {

class EditArea;

// The engines the controller runs over: the system's (CreateSystemAppParts)
// or the in-memory ones of src/audio/ in tests.
struct AppParts {
  std::unique_ptr<AudioDeviceBackend> devices;
  std::unique_ptr<CaptureStream> microphone;
  std::unique_ptr<CaptureStream> loopback;
  std::unique_ptr<PlaybackStream> playback;
};
AppParts CreateSystemAppParts();

struct AppOptions {
  std::filesystem::path settingsFile;  // empty: settings live in memory only
  SettingsEnvironment settingsEnvironment;
  bool previousRunUnclean = false;     // the session log's verdict
  std::filesystem::path logFile;       // the current session log
  std::filesystem::path logFolder;
  const TimeSource* clock = nullptr;   // nullptr: the system clock
};

// The level meter as the views paint it, per channel.
struct MeterReading {
  int channels = 0;  // 0: nothing to show
  float peak[2] = {0, 0};
  float peakHold[2] = {0, 0};
  float rms[2] = {0, 0};
  bool clip[2] = {false, false};
};

class AppController {
 public:
  AppController(AppParts parts, ViewPort& view, AppOptions options);
  ~AppController();
  AppController(const AppController&) = delete;
  AppController& operator=(const AppController&) = delete;

  // After the view created its controls: settings, start-up repair of the
  // output folder, device lists, control states and the first status.
  void Start();

  // A button or menu item.
  void OnCommand(int id);
  // A drop-down list's selection changed.
  void OnComboChanged(int id, int index);
  // The items of a split button's menu (current choices checked).
  std::vector<MenuItem> SplitMenu(int buttonId);
  std::vector<MenuItem> ContextMenu();
  // The 33 ms timer.
  void OnTick();
  // The system reported a device change. Any thread.
  void NotifyDevicesChanged();
  // Files dropped on the window.
  void OnDropFiles(const std::vector<std::filesystem::path>& files);
  // The user asked to close: confirmations. True when the window may close.
  bool QueryClose();
  // The window is going: settings saved with its placement, every stream
  // stopped.
  void Shutdown(const std::optional<MainWindowPlacement>& placement);
  // The saved main-window placement (MainRect, MainMaxed) when it fits
  // `screen`; the view applies it before showing the window. After Start.
  std::optional<MainWindowPlacement> SavedPlacement(const ScreenMetrics& screen) const;

  EditArea& Edit() { return *edit_; }
  MeterReading Meter() const;
  const SettingsState& Settings() const { return settings_; }
  AudioDoc& Document();
  bool IsRecording() const;
  // "VeskRecorder 录音机 0.9.124"
  static std::string WindowTitle();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  SettingsState settings_;
  std::unique_ptr<EditArea> edit_;
  ViewPort& view_;
};

}  // namespace vesk::ui
