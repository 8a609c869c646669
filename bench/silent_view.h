#pragma once
// A view for benchmarks of the edit area: paints nothing, answers every box
// with its default, runs posted work at once and reports a fixed focus.
#include "ui/view_port.h"

namespace vesk::ui {

class SilentView final : public ViewPort {
 public:
  explicit SilentView(FocusKind focus = FocusKind::Other) : focus_(focus) {}
  void SetText(TextView, const std::string&) override {}
  void SetControlText(int, const std::string&) override {}
  void SetControlEnabled(int, bool) override {}
  void SetComboItems(int, const std::vector<std::string>&, int) override {}
  void SetComboSelection(int, int) override {}
  void SetTooltip(int, const std::string&) override {}
  void Repaint(PaintArea) override {}
  BoxAnswer ShowBox(BoxKind, const std::string&, const std::string&, BoxButtons, BoxAnswer d) override { return d; }
  bool PickFile(const FileDialogRequest&, std::filesystem::path&) override { return false; }
  bool PickFolder(const std::string&, const std::filesystem::path&, std::filesystem::path&) override { return false; }
  void ProgressBegin(const std::string&, bool) override {}
  bool ProgressStep(int, const std::string&) override { return true; }
  void ProgressEnd() override {}
  void PostToUi(std::function<void()> task) override { task(); }
  bool RevealFile(const std::filesystem::path&) override { return false; }
  bool OpenFolder(const std::filesystem::path&) override { return false; }
  bool OpenUrl(const std::string&) override { return false; }
  bool OpenSoundSettings(std::string&) override { return false; }
  void ShowDonationWindow() override {}
  TrackDialogResult ShowTrackDialog(const TrackDialogModel&) override { return {}; }
  FocusKind Focus() const override { return focus_; }

 private:
  FocusKind focus_;
};

}  // namespace vesk::ui
