#pragma once
// The Win32 main window: a thin view over AppController. It creates the
// controls of MainLayout, paints its own caption band, frame and level
// meter, forwards commands, keys, mouse, wheel and drops, and implements
// ViewPort and Desktop for the controller. Windows only; user-interface
// thread only (except Wake).
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/app_controller.h"
#include "ui/main_layout.h"
#include "ui/view_port.h"
#include "ui/win/win_common.h"

namespace vesk::ui::win {

class WaveView;
class ProgressWindow;
class TooltipSet;
class PreviewWindow;

// Registers the classes of the main window, the waveform view, the progress
// window, the donation window and the track dialog, and makes the process
// aware of the system DPI. False when a registration failed.
bool RegisterWindowClasses(HINSTANCE instance);

// What the layout dump reads from the real window: its direct children in
// enumeration order with the keyed views named, and the painted meter.
// Rectangles are pixels relative to the layout's origin (the client area
// below the caption band the program paints).
struct LayoutSnapshot {
  struct Child {
    HWND hwnd = nullptr;
    std::string key;  // "status", "size", "meterInfo", "clock", "editorInfo", "wave" or ""
    RECT rect{};
  };
  unsigned dpi = 96;
  SIZE client{};  // pixels, below the caption band
  std::vector<Child> children;
  RECT meter{};
};

// Application messages (WM_APP + n). The buttons and the context menu reach
// the same handlers through OnCommand; these numbers are the window's
// contract towards other processes and threads.
enum AppMessage : UINT {
  kMsgRevealRecording = WM_APP + 1,
  kMsgDevicesChanged = WM_APP + 2,
  kMsgSoundSettings = WM_APP + 3,
  kMsgWebSite = WM_APP + 4,
  kMsgDonate = WM_APP + 5,
  kMsgRenderFinished = WM_APP + 8,  // the controller's posted work (ViewPort::Wake)
  kMsgOpenLogFolder = WM_APP + 9,
  kMsgExportDiagnostics = WM_APP + 10,
};

struct MainWindowOptions {
  bool headless = false;              // created but never shown (layout dump)
  int showCommand = SW_SHOWDEFAULT;
  bool quitOnDestroy = true;          // ends the message loop when the window goes
};

class MainWindow final : public ViewPort, public Desktop {
 public:
  MainWindow();
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The controller this window shows and forwards to (built by the
  // application over this window). Before Create.
  void Attach(AppController& controller) { controller_ = &controller; }
  // Creates the window and its controls, starts the controller, restores
  // the saved placement and shows the window unless headless.
  bool Create(const MainWindowOptions& options);
  // Destroys the window (the controller shut down first unless the close
  // path did it). Call while the controller still exists; the destructor
  // does it too.
  void Destroy();
  HWND Handle() const { return hwnd_; }
  HWND WaveHandle() const;
  unsigned Dpi() const override { return dpi_; }
  AppController& Controller() { return *controller_; }

  // The message loop offers every message here first; true when consumed
  // (keys of the edit area, the menu key, the wheel over the waveform, and
  // any input while the progress window is up).
  bool PreTranslate(MSG& msg);

  LayoutSnapshot Snapshot() const;

  // ViewPort.
  void Apply(const WindowChanges& changes) override;
  BoxAnswer ShowBox(BoxKind kind, const std::string& title, const std::string& text, BoxButtons buttons,
                    BoxAnswer defaultButton) override;
  bool PickFile(const FileDialogRequest& request, std::filesystem::path& chosen) override;
  void ProgressBegin(const std::string& title, bool cancellable) override;
  bool ProgressStep(int percent, const std::string& stage) override;
  void ProgressEnd() override;
  void Wake() override;
  TrackDialogResult ShowTrackDialog(const TrackDialogModel& model) override;
  bool AskNumbers(const NumberDialogModel& model, std::vector<double>& values) override;
  FocusKind Focus() const override;
  PreviewView* Preview() override;

  // Desktop.
  bool RevealFile(const std::filesystem::path& file) override;
  bool OpenFolder(const std::filesystem::path& folder) override;
  bool OpenUrl(const std::string& url) override;
  bool OpenSoundSettings(std::string& error) override;
  void ShowDonationWindow() override;

 private:
  template <typename T>
  friend LRESULT CALLBACK ClassProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  // The message families; true when handled (`result` set).
  bool OnFrameMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  bool OnPaintMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  bool OnInputMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  bool OnAppMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  bool OnLifetimeMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

  void CreateControls();
  void ApplyLayout();
  HWND Control(int id) const;
  HWND Keyed(const std::string& key) const;
  int CaptionPx() const { return ScaleUnits(kCaptionHeight, dpi_); }
  int Px(int units) const { return ScaleUnits(units, dpi_); }
  RECT ControlRect(const LayoutRect& r) const;
  void RestorePlacement();
  std::optional<MainWindowPlacement> CurrentPlacement() const;

  // Frame and caption.
  LRESULT HitTest(LPARAM lp);
  void PaintFrame(HDC dc, const RECT& client);
  void PaintMeter(HDC dc);
  void SetHover(int hit);
  void DrawRecordButton(const DRAWITEMSTRUCT& item);

  void OnCommand(WPARAM wp, LPARAM lp);
  void ShowMenu(const std::vector<MenuItem>& items, POINT screen);
  void ShowContextMenuAt(POINT screen);
  void OnDropFiles(HDROP drop);
  void OnClose();
  bool InputBlocked() const { return progress_ != nullptr; }

  MainWindowOptions options_;
  unsigned dpi_ = 96;
  HWND hwnd_ = nullptr;
  std::unique_ptr<PreviewWindow> preview_;
  AppController* controller_ = nullptr;
  std::unique_ptr<WaveView> wave_;
  std::unique_ptr<ProgressWindow> progress_;
  std::unique_ptr<TooltipSet> tooltips_;
  std::map<std::string, HWND> keyed_;  // status, size, meterInfo, clock, editorInfo, wave
  std::vector<std::pair<HWND, LayoutControl>> controls_;
  RECT meterRect_{};  // pixels of the client area
  SIZE frameExtra_{};  // window size minus client size (the sizing frame)
  GdiObject<HFONT> font_, clockFont_, captionFont_, recordFont_, glyphFont_;
  GdiObject<HBRUSH> background_;
  int hoverHit_ = HTNOWHERE;
  int pressedHit_ = HTNOWHERE;
  bool trackingLeave_ = false;
  HWND lastFocus_ = nullptr;
  bool closing_ = false;
  bool statusDetails_ = false;  // a click on the status line opens its details
  ControlState recordLook_;      // the record button's state as last applied
  std::atomic<HWND> wakeTarget_{nullptr};  // Wake comes from any thread
};

}  // namespace vesk::ui::win
