#pragma once
// What the controller's parts see of the window: the status line and repaint
// requests (model values the window state is computed from), dialogs and the
// progress window (the state is brought to the screen first, so a status
// set before a box is seen with it), the user-interface task queue and the
// desktop. One per controller; every part gets a reference.
//
// Threads: the user-interface thread, except PostToUi, which any thread may
// call.
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "ui/view_port.h"

namespace vesk::ui {

// Something whose posted work must not run once it is gone (or once it
// started over): posted work watches the token and is dropped when it expired.
class LifeToken {
 public:
  using Watch = std::weak_ptr<const int>;
  Watch Watched() const { return token_; }
  // Work posted before this no longer runs.
  void Renew() { token_ = std::make_shared<const int>(0); }
  void Expire() { token_.reset(); }

 private:
  std::shared_ptr<const int> token_ = std::make_shared<const int>(0);
};

class WindowPort {
 public:
  // `refresh` brings the computed window state to the screen.
  WindowPort(ViewPort& view, Desktop& desktop, std::function<void()> refresh);
  WindowPort(const WindowPort&) = delete;
  WindowPort& operator=(const WindowPort&) = delete;

  // ----- the status line -----
  void Status(const std::string& text);
  const std::string& StatusText() const { return status_; }
  // The current status is a failure: its text, or a warning or error box
  // shown while it was current.
  bool HasDetails() const { return details_; }
  // A click on the status line: the details box when there are details.
  bool OpenDetails();

  // ----- repaints -----
  void Repaint(PaintArea area) { ++(area == PaintArea::Wave ? wavePaints_ : meterPaints_); }
  uint64_t WavePaints() const { return wavePaints_; }
  uint64_t MeterPaints() const { return meterPaints_; }

  // ----- dialogs -----
  BoxAnswer ShowBox(BoxKind kind, const std::string& title, const std::string& text,
                    BoxButtons buttons = BoxButtons::Ok, BoxAnswer defaultButton = BoxAnswer::Ok);
  bool PickFile(const FileDialogRequest& request, std::filesystem::path& chosen);
  bool PickFolder(const std::string& title, const std::filesystem::path& initial, std::filesystem::path& chosen);
  TrackDialogResult ShowTrackDialog(const TrackDialogModel& model);
  bool AskNumbers(const NumberDialogModel& model, std::vector<double>& values);

  // ----- the progress window: no tick and no posted work while it is up -----
  void ProgressBegin(const std::string& title, bool cancellable);
  bool ProgressStep(int percent, const std::string& stage);
  void ProgressEnd();
  bool InProgress() const { return progress_ > 0; }

  // ----- the task queue -----
  // Runs `task` on the user-interface thread at the next wake-up or tick
  // outside a progress window. Any thread.
  void PostToUi(std::function<void()> task);
  // The same, dropped when `owner` expired before it runs.
  void PostToUi(LifeToken::Watch owner, std::function<void()> task);
  // Runs what was posted so far unless a progress window is up; true when
  // something ran.
  bool RunPosted();

  FocusKind Focus() const { return view_.Focus(); }
  unsigned Dpi() const { return view_.Dpi(); }
  PreviewView* Preview() { return view_.Preview(); }
  Desktop& Shell() { return desktop_; }
  // Brings the computed window state to the screen now.
  void Flush() {
    if (refresh_) refresh_();
  }

 private:
  ViewPort& view_;
  Desktop& desktop_;
  std::function<void()> refresh_;
  std::string status_;
  bool details_ = false;
  uint64_t wavePaints_ = 0, meterPaints_ = 0;
  int progress_ = 0;
  std::mutex tasksMutex_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace vesk::ui
