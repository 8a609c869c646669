#pragma once
// The video preview: button 1068, the preview window's placement (restored
// from and saved to PreviewRect) and the pictures it shows. While the window
// is open a PreviewFollower decodes the picture at the play head, whether it
// moves by playback or by scrubbing; finished pictures travel to the
// user-interface thread through WindowPort::PostToUi.
//
// Threads: the user-interface thread only.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/settings.h"
#include "ui/app_services.h"
#include "ui/window_port.h"
#include "ui/window_state.h"
#include "video/preview_decoder.h"
#include "video/preview_follower.h"

namespace vesk::ui {

struct PreviewContext {
  WindowPort* port = nullptr;
  // Saving the settings asks OpenRect for PreviewRect.
  AppServices* app = nullptr;
};

class PreviewController {
 public:
  explicit PreviewController(PreviewContext context);
  // Closes the window without saving (the caller saved at shutdown).
  ~PreviewController();
  PreviewController(const PreviewController&) = delete;
  PreviewController& operator=(const PreviewController&) = delete;

  // The edit area's opened file changed (`pictureFile`: the file when it
  // has a picture, else empty): an open preview closes, and the button is
  // enabled when the new file has a picture the decoder can show.
  void MediaChanged(const std::filesystem::path& pictureFile);
  // Button 1068: opens or closes the preview window; `seconds` is the
  // picture time of the play head (EditArea::PictureSeconds).
  void Toggle(double seconds);
  // The 33 ms tick: asks for the picture at `seconds` when it moved or the
  // window changed size, and saves a moved window once it rests.
  void Tick(double seconds);
  // The preview's part of the window state: its button.
  void Describe(WindowFacts& facts) const;
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
  void Open(double seconds);
  void Close(bool save);
  void RequestPicture(bool always, double seconds);
  void OnDelivered(const std::shared_ptr<const PreviewPicture>& picture, const std::string& error);

  PreviewContext ctx_;
  std::shared_ptr<PreviewDecoder> decoder_;  // open while the file has a usable picture
  std::filesystem::path decoderFile_;
  std::unique_ptr<PreviewFollower> follower_;
  // Renewed at every open and expired at close, so a late picture of an
  // earlier preview is dropped.
  LifeToken session_;
  Shown shown_;
  int ticksSinceMove_ = -1;  // -1: no unsaved move
  std::string lastError_;
};

}  // namespace vesk::ui
