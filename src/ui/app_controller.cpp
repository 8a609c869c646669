#include "ui/app_controller.h"

#include "core/version.h"
#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "audio/device_catalogue.h"
#include "audio/playback_stream.h"
#include "doc/audio_doc.h"
#include "ui/edit_area.h"

namespace vesk::ui {

struct AppController::Impl {
  explicit Impl(AppParts p) : parts(std::move(p)), catalogue(*parts.devices) {}
  AppParts parts;
  AppOptions options;
  AudioDoc doc;
  DeviceCatalogue catalogue;
};

AppParts CreateSystemAppParts() {
  AppParts parts;
  parts.devices = CreateAudioDeviceBackend();
  parts.microphone = CreateCaptureStream();
  parts.loopback = CreateCaptureStream();
  parts.playback = CreatePlaybackStream();
  return parts;
}

AppController::AppController(AppParts parts, ViewPort& view, AppOptions options)
    : impl_(std::make_unique<Impl>(std::move(parts))), view_(view) {
  impl_->options = std::move(options);
  EditContext context;
  context.view = &view_;
  context.doc = &impl_->doc;
  context.playback = impl_->parts.playback.get();
  context.devices = &impl_->catalogue;
  context.settings = &settings_;
  context.saveSettings = [] {};
  context.isRecording = [this] { return IsRecording(); };
  edit_ = std::make_unique<EditArea>(std::move(context));
}

AppController::~AppController() = default;

void AppController::Start() { view_.SetText(TextView::Status, "就绪。选好声音来源，点「开始录音」。"); }
void AppController::OnCommand(int) {}
void AppController::OnComboChanged(int, int) {}
std::vector<MenuItem> AppController::SplitMenu(int) { return {}; }
std::vector<MenuItem> AppController::ContextMenu() { return {}; }
void AppController::OnTick() {}
void AppController::NotifyDevicesChanged() {}
void AppController::OnDropFiles(const std::vector<std::filesystem::path>&) {}
bool AppController::QueryClose() { return true; }
void AppController::Shutdown(const std::optional<MainWindowPlacement>&) {}
std::optional<MainWindowPlacement> AppController::SavedPlacement(const ScreenMetrics& screen) const {
  IniStore store(impl_->options.settingsFile);
  if (!impl_->options.settingsFile.empty()) store.Load();
  const std::optional<WindowRect> rect = LoadMainRect(store, screen);
  if (!rect) return std::nullopt;
  return MainWindowPlacement{*rect, store.GetInt("MainMaxed", 0) != 0};
}
MeterReading AppController::Meter() const { return {}; }
AudioDoc& AppController::Document() { return impl_->doc; }
bool AppController::IsRecording() const { return false; }
std::string AppController::WindowTitle() { return std::string(kProductTitle) + " " + kVersion; }

}  // namespace vesk::ui
