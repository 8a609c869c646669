#pragma once
// The window application minus drawing: it owns the document, the recording
// session, the playback stream, the device catalogue, the settings in memory
// and the denoise state, routes every command of the main window by control
// id, decides enabling, texts and confirmations, and drives the 33 ms tick.
// The Windows and the Qt window are thin views: they create the controls of
// MainLayout, forward input here and implement ViewPort; the window
// application (src/app) builds the controller and hands it to the view.
//
// Threads: every call on the user-interface thread, except
// NotifyDevicesChanged, which any thread may call.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "ui/input_events.h"
#include "ui/meter_reading.h"
#include "ui/view_port.h"
#include "ui/window_port.h"

namespace vesk {
class IniStore;
class AudioDoc;
struct DenoiseEngine;
class TimeSource;
class RecordingSession;
}  // namespace vesk

namespace vesk::ui {

class EditArea;
class PreviewController;
struct AppParts;  // ui/app_parts.h

struct AppOptions {
  // The settings store shared with the rest of the program (AppSettings());
  // nullptr: the controller keeps its own over `settingsFile`.
  IniStore* settingsStore = nullptr;
  std::filesystem::path settingsFile;  // empty: settings live in memory only
  SettingsEnvironment settingsEnvironment;
  bool previousRunUnclean = false;     // the session log's verdict
  std::filesystem::path logFile;       // the current session log (empty: the log module's)
  std::filesystem::path logFolder;     // (empty: the log module's)
  std::filesystem::path desktopDir;    // where diagnostics go; empty: the system's desktop
  const TimeSource* clock = nullptr;   // nullptr: the system clock
  // The hidden window of the layout dump: no repair of the output folder,
  // no device notifications, no plug-in scan.
  bool headless = false;
  bool scanPlugins = true;             // look for the denoise plug-in at Start
  // Stand-ins (tests) for the denoise plug-in: discovery, whether the found
  // plug-in can run, the render; and for the free memory the render cache
  // and the full-length playback buffer are sized by. Empty: the real ones.
  std::function<void(DenoiseEngine&)> denoiseDiscover;
  std::function<bool(DenoiseEngine&)> denoiseUsable;
  std::function<bool(DenoiseEngine&, std::vector<float>&, uint32_t rate, uint32_t channels, std::string& error,
                     unsigned level)>
      denoiseRender;
  std::function<bool(uint64_t&)> freeMemory;
};

// The product's web site (the "官网" button).
inline constexpr const char kWebSiteUrl[] = "https://vesk-recorder.example/";

class AppController {
 public:
  AppController(AppParts parts, ViewPort& view, Desktop& desktop, AppOptions options);
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
  // Keys, mouse and wheel over the waveform, forwarded by the views. OnKey
  // is true when the key was used (a key passed on belongs to the focused
  // control).
  bool OnKey(const KeyEvent& key);
  // True when the view opens ContextMenu() at the pointer (a right click
  // that did not pan the waveform).
  bool OnMouse(const MouseEvent& event, int viewWidth, int viewHeight);
  void OnWheel(const WheelEvent& event, int viewWidth, int viewHeight);
  // The 33 ms timer. Under a progress window it does nothing.
  void OnTick();
  // The view's loop after ViewPort::Wake: runs the posted work (not under a
  // progress window; ProgressEnd wakes the view again). True when something ran.
  bool OnWake();
  // The system reported a device change. Any thread.
  void NotifyDevicesChanged();
  // A click on the status line: a failure's whole text in a details box.
  // False (nothing shown) when the current status has no details.
  bool OnStatusClicked();
  // Files dropped on the window.
  void OnDropFiles(const std::vector<std::filesystem::path>& files);
  // A file named on the command line ("Open with"): opens once the window's
  // loop runs (both windows start this way).
  void OpenFile(const std::filesystem::path& file);
  // A second start handed over its file ("Open with" while running): opens
  // it like a drop, with the same question when the edit area holds audio.
  void OpenHandedOver(const std::filesystem::path& file);
  // The user asked to close: confirmations. True when the window may close.
  bool QueryClose();
  // The window is going: settings saved with its placement, every stream
  // stopped.
  void Shutdown(const std::optional<MainWindowPlacement>& placement);
  // The saved main-window placement (MainRect, MainMaxed) when it fits
  // `screen`; the view applies it before showing the window. After Start.
  std::optional<MainWindowPlacement> SavedPlacement(const ScreenMetrics& screen) const;

  EditArea& Edit() { return *edit_; }
  PreviewController& Preview();
  MeterReading Meter() const;
  const SettingsState& Settings() const { return settings_; }
  AudioDoc& Document();
  // The parts' way to the window (status line, dialogs, progress, posting).
  WindowPort& Port();
  bool IsRecording() const;
  RecordingSession& Session();
  // The newest recording that ended well (known across runs through LastFile).
  const std::filesystem::path& LastRecording() const;
  // How often the settings file was written (each change writes it once).
  int SettingsSaveCount() const;
  // "VeskRecorder 录音机 0.9.124"
  static std::string WindowTitle();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  SettingsState settings_;
  std::unique_ptr<EditArea> edit_;
};

}  // namespace vesk::ui
