#pragma once
// The status line is one line of the window: a long result ends in "…" at
// its edge. The views show the whole text on hover; a failure's text also
// opens whole in a details box from a click on the line. StatusLineView sits
// between the controllers and the window, keeps the current status and
// decides whether it has such details; everything else passes through.
#include <string>

#include "ui/view_port.h"

namespace vesk::ui {

// The title of the details box.
inline constexpr const char kStatusDetailsTitle[] = "详情";

// True when `status` reports something that went wrong (a failed or refused
// save, export, open or render, a result check that found differences).
bool IsFailureStatus(const std::string& status);

class StatusLineView final : public ViewPort {
 public:
  explicit StatusLineView(ViewPort& window) : window_(window) {}

  const std::string& Status() const { return status_; }
  // The current status is a failure: its text, or a warning or error box
  // shown while it was current.
  bool HasDetails() const { return details_; }
  // A click on the status line: the details box when there are details.
  // False when there were none.
  bool OpenDetails();

  void SetText(TextView view, const std::string& text) override;
  void SetStatusDetails(bool available) override { window_.SetStatusDetails(available); }
  void ShowDetailsBox(const std::string& title, const std::string& text) override {
    window_.ShowDetailsBox(title, text);
  }
  void SetControlText(int id, const std::string& text) override { window_.SetControlText(id, text); }
  void SetControlEnabled(int id, bool enabled) override { window_.SetControlEnabled(id, enabled); }
  void SetComboItems(int id, const std::vector<std::string>& items, int selected) override {
    window_.SetComboItems(id, items, selected);
  }
  void SetComboSelection(int id, int selected) override { window_.SetComboSelection(id, selected); }
  void SetTooltip(int id, const std::string& text) override { window_.SetTooltip(id, text); }
  void Repaint(PaintArea area) override { window_.Repaint(area); }
  BoxAnswer ShowBox(BoxKind kind, const std::string& title, const std::string& text, BoxButtons buttons,
                    BoxAnswer defaultButton) override;
  bool PickFile(const FileDialogRequest& request, std::filesystem::path& chosen) override {
    return window_.PickFile(request, chosen);
  }
  bool PickFolder(const std::string& title, const std::filesystem::path& initial,
                  std::filesystem::path& chosen) override {
    return window_.PickFolder(title, initial, chosen);
  }
  void ProgressBegin(const std::string& title, bool cancellable) override { window_.ProgressBegin(title, cancellable); }
  bool ProgressStep(int percent, const std::string& stage) override { return window_.ProgressStep(percent, stage); }
  void ProgressEnd() override { window_.ProgressEnd(); }
  void PostToUi(std::function<void()> task) override { window_.PostToUi(std::move(task)); }
  bool RevealFile(const std::filesystem::path& file) override { return window_.RevealFile(file); }
  bool OpenFolder(const std::filesystem::path& folder) override { return window_.OpenFolder(folder); }
  bool OpenUrl(const std::string& url) override { return window_.OpenUrl(url); }
  bool OpenSoundSettings(std::string& error) override { return window_.OpenSoundSettings(error); }
  void ShowDonationWindow() override { window_.ShowDonationWindow(); }
  TrackDialogResult ShowTrackDialog(const TrackDialogModel& model) override { return window_.ShowTrackDialog(model); }
  FocusKind Focus() const override { return window_.Focus(); }
  unsigned Dpi() const override { return window_.Dpi(); }
  PreviewView* Preview() override { return window_.Preview(); }

 private:
  void MarkDetails(bool available);

  ViewPort& window_;
  std::string status_;
  bool details_ = false;
};

}  // namespace vesk::ui
