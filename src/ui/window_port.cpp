#include "ui/window_port.h"

#include <utility>
#include <vector>

#include "ui/status_line.h"

namespace vesk::ui {

WindowPort::WindowPort(ViewPort& view, Desktop& desktop, std::function<void()> refresh)
    : view_(view), desktop_(desktop), refresh_(std::move(refresh)) {}

void WindowPort::Status(const std::string& text) {
  status_ = text;
  details_ = IsFailureStatus(text);
  // Every status reaches the line as it is said, like a log: a flow that
  // says two things in one step ("只载入第一个" before the open's own) leaves
  // both in the line's history.
  Flush();
}

bool WindowPort::OpenDetails() {
  if (!details_) return false;
  Flush();
  view_.ShowBox(BoxKind::Details, kStatusDetailsTitle, status_, BoxButtons::Ok, BoxAnswer::Ok);
  return true;
}

BoxAnswer WindowPort::ShowBox(BoxKind kind, const std::string& title, const std::string& text, BoxButtons buttons,
                              BoxAnswer defaultButton) {
  // The line that goes with a warning is that warning's short form.
  if ((kind == BoxKind::Warning || kind == BoxKind::Error) && !status_.empty()) details_ = true;
  Flush();
  return view_.ShowBox(kind, title, text, buttons, defaultButton);
}

bool WindowPort::PickFile(const FileDialogRequest& request, std::filesystem::path& chosen) {
  Flush();
  return view_.PickFile(request, chosen);
}

bool WindowPort::PickFolder(const std::string& title, const std::filesystem::path& initial,
                            std::filesystem::path& chosen) {
  FileDialogRequest request;
  request.title = title;
  request.folder = initial;
  request.pickFolder = true;
  return PickFile(request, chosen);
}

TrackDialogResult WindowPort::ShowTrackDialog(const TrackDialogModel& model) {
  Flush();
  return view_.ShowTrackDialog(model);
}

bool WindowPort::AskNumbers(const NumberDialogModel& model, std::vector<double>& values) {
  Flush();
  return view_.AskNumbers(model, values);
}

void WindowPort::ProgressBegin(const std::string& title, bool cancellable) {
  Flush();
  ++progress_;
  view_.ProgressBegin(title, cancellable);
}

bool WindowPort::ProgressStep(int percent, const std::string& stage) {
  Flush();
  return view_.ProgressStep(percent, stage);
}

void WindowPort::ProgressEnd() {
  if (progress_ > 0) --progress_;
  view_.ProgressEnd();
  // Work finished on other threads meanwhile runs once the work that ran
  // the progress window has returned to the loop.
  bool pending = false;
  {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    pending = !tasks_.empty();
  }
  if (progress_ == 0 && pending) view_.Wake();
}

void WindowPort::PostToUi(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    tasks_.push_back(std::move(task));
  }
  view_.Wake();
}

void WindowPort::PostToUi(LifeToken::Watch owner, std::function<void()> task) {
  PostToUi([owner = std::move(owner), task = std::move(task)] {
    if (!owner.expired()) task();
  });
}

bool WindowPort::RunPosted() {
  if (progress_ > 0) return false;
  std::deque<std::function<void()>> run;
  {
    std::lock_guard<std::mutex> lock(tasksMutex_);
    run.swap(tasks_);
  }
  for (auto& task : run)
    if (task) task();
  if (!run.empty()) Flush();
  return !run.empty();
}

}  // namespace vesk::ui
