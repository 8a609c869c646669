#pragma once
// The video preview: button 1068, the preview window's placement (restored
// from and saved to PreviewRect) and the pictures it shows. While the window
// is open a PreviewFollower decodes the picture at the play head, whether it
// moves by playback or by scrubbing; finished pictures travel to the
// user-interface thread through ViewPort::PostToUi.
//
// Threads: the user-interface thread only.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/settings.h"
#include "ui/view_port.h"
#include "video/preview_decoder.h"
#include "video/preview_follower.h"

namespace vesk::ui {

class EditArea;

struct PreviewContext {
  ViewPort* view = nullptr;
  EditArea* edit = nullptr;
  // The saved preview rectangle when it suits `screen` (LoadPreviewRect).
  std::function<std::optional<WindowRect>(const ScreenMetrics& screen)> savedRect;
  // Writes the settings file now; it asks OpenRect for PreviewRect.
  std::function<void()> saveSettings;
};

class PreviewController {
 public:
  explicit PreviewController(PreviewContext context);
  // Closes the window without saving (the caller saved at shutdown).
  ~PreviewController();
  PreviewController(const PreviewController&) = delete;
  PreviewController& operator=(const PreviewController&) = delete;

  // The edit area's opened file changed: an open preview closes, and the
  // button is enabled when the new file has a picture the decoder can show.
  void MediaChanged();
  // Button 1068: opens or closes the preview window.
  void Toggle();
  // The 33 ms tick: asks for the picture at the play head when it moved or
  // the window changed size, and saves a moved window once it rests.
  void Tick();
  // The main window goes: the preview closes, nothing is saved.
  void Shutdown();

  bool IsOpen() const { return follower_ != nullptr; }
  // The window's rectangle while it is open (what PreviewRect saves).
  std::optional<WindowRect> OpenRect() const;

  // What the follower was last asked for and what the window shows.
  struct Shown {
    uint64_t requests = 0;
    double requestedSeconds = -1;
    int width = 0, height = 0;
    uint64_t pictures = 0;  // pictures handed to the window
  };
  const Shown& State() const { return shown_; }

 private:
  void Open();
  void Close(bool save);
  void RequestPicture(bool always);
  void OnDelivered(const std::shared_ptr<const PreviewPicture>& picture, const std::string& error);
  void UpdateButton();

  PreviewContext ctx_;
  std::shared_ptr<PreviewDecoder> decoder_;  // open while the file has a usable picture
  std::filesystem::path decoderFile_;
  std::unique_ptr<PreviewFollower> follower_;
  // Pictures posted by the follower check it before they reach the window:
  // it is renewed at every open, so a late picture of an earlier preview is dropped.
  std::shared_ptr<int> session_;
  Shown shown_;
  int ticksSinceMove_ = -1;  // -1: no unsaved move
  std::string lastError_;
};

}  // namespace vesk::ui
