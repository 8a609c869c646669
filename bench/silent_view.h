#pragma once
// A window for benchmarks of the edit area: paints nothing, answers every
// box with its default, reports a fixed focus; the application behind it
// is idle (no recording, no playback, no denoise cache).
#include "ui/app_services.h"
#include "ui/playback_control.h"
#include "ui/view_port.h"
#include "ui/window_port.h"

namespace vesk::ui {

class SilentView final : public ViewPort, public Desktop {
 public:
  explicit SilentView(FocusKind focus = FocusKind::Other) : focus_(focus) {}
  void Apply(const WindowChanges&) override {}
  BoxAnswer ShowBox(BoxKind, const std::string&, const std::string&, BoxButtons, BoxAnswer d) override { return d; }
  bool PickFile(const FileDialogRequest&, std::filesystem::path&) override { return false; }
  TrackDialogResult ShowTrackDialog(const TrackDialogModel&) override { return {}; }
  bool AskNumbers(const NumberDialogModel&, std::vector<double>&) override { return false; }
  void ProgressBegin(const std::string&, bool) override {}
  bool ProgressStep(int, const std::string&) override { return true; }
  void ProgressEnd() override {}
  void Wake() override {}
  FocusKind Focus() const override { return focus_; }
  bool RevealFile(const std::filesystem::path&) override { return false; }
  bool OpenFolder(const std::filesystem::path&) override { return false; }
  bool OpenUrl(const std::string&) override { return false; }
  bool OpenSoundSettings(std::string&) override { return false; }
  void ShowDonationWindow() override {}

 private:
  FocusKind focus_;
};

class IdleApp final : public AppServices {
 public:
  void SaveSettings() override {}
  bool Recording() const override { return false; }
  bool RecordingPaused() const override { return false; }
  bool FreeMemory(uint64_t&) const override { return false; }
  void DocumentChanged(DocumentChange) override {}
  bool Playing() const override { return false; }
  void StopPlayback() override {}
  PlaybackBuffer PlaybackSource() override { return {}; }
  void PlaybackSourceChanged() override {}
  ExportDenoise ExportDenoiseStep(ExportKind, const std::filesystem::path&) override { return {}; }
  std::optional<WindowRect> SavedPreviewRect(const ScreenMetrics&) const override { return std::nullopt; }
};

// The view, its port and the idle application, with the edit context over
// them for one document and its settings.
struct SilentWindow {
  explicit SilentWindow(FocusKind focus = FocusKind::Other) : view(focus) {}
  SilentView view;
  WindowPort port{view, view, [] {}};
  IdleApp app;
  EditContext Context(AudioDoc& doc, SettingsState& settings) {
    EditContext c;
    c.port = &port;
    c.doc = &doc;
    c.settings = &settings;
    c.app = &app;
    return c;
  }
};

}  // namespace vesk::ui
