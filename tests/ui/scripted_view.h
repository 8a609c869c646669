#pragma once
// A ViewPort that keeps what the controller asked for (texts, states, combo
// items, boxes, shell requests) and answers dialogs from a script. Every
// method records; nothing draws.
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/post_queue.h"
#include "ui/view_port.h"

namespace vesk::test {

// The preview window as a record: where it was put, what it shows, and
// moves and its close box played by the test.
class ScriptedPreview : public ui::PreviewView {
 public:
  bool shown = false;
  std::optional<WindowRect> shownAt;  // what Show was given
  WindowRect frame{100, 100, 580, 390};
  ui::PreviewEvents events;
  std::vector<std::shared_ptr<const PreviewPicture>> pictures;
  ScreenMetrics screen{96, 1920, 1080, 0, 0, 1920, 1080, {}};
  int shows = 0;

  void Show(const std::optional<WindowRect>& at, ui::PreviewEvents e) override {
    shown = true;
    shownAt = at;
    if (at) frame = *at;
    events = std::move(e);
    ++shows;
  }
  void Hide() override {
    shown = false;
    events = {};
  }
  bool Shown() const override { return shown; }
  void ShowPicture(std::shared_ptr<const PreviewPicture> picture) override { pictures.push_back(std::move(picture)); }
  WindowRect Frame() const override { return frame; }
  PreviewSize ClientSize() const override { return {frame.Width() - 16, frame.Height() - 39}; }
  PreviewPixels Pixels() const override { return PreviewPixels::Rgb24; }
  ScreenMetrics Screen() const override { return screen; }

  void MoveTo(const WindowRect& r) {
    frame = r;
    if (events.moved) events.moved();
  }
  void ClickClose() {
    const ui::PreviewEvents copy = events;  // the handler hides the window, which drops `events`
    if (copy.closedByUser) copy.closedByUser();
  }
};

class ScriptedView : public ui::ViewPort {
 public:
  struct Box {
    ui::BoxKind kind;
    std::string title;
    std::string text;
    ui::BoxButtons buttons;
    ui::BoxAnswer defaultButton;
  };
  struct Combo {
    std::vector<std::string> items;
    int selected = -1;
  };

  // --- what was shown ---
  std::map<ui::TextView, std::string> texts;
  std::vector<std::string> statusHistory;
  std::map<int, std::string> controlTexts;
  std::map<int, bool> enabled;
  std::map<int, Combo> combos;
  std::map<int, std::string> tooltips;
  std::map<ui::PaintArea, int> repaints;
  std::vector<Box> boxes;
  std::vector<Box> detailsBoxes;  // kind Information, buttons Ok
  bool statusDetails = false;
  std::vector<ui::FileDialogRequest> fileRequests;
  std::vector<std::string> folderTitles;
  std::vector<std::filesystem::path> revealed;
  std::vector<std::filesystem::path> openedFolders;
  std::vector<std::string> openedUrls;
  std::vector<std::string> progressTitles;
  int soundSettings = 0;
  int donations = 0;
  ScriptedPreview preview;

  // --- the script ---
  std::deque<ui::BoxAnswer> boxAnswers;            // empty: the default button
  std::deque<std::filesystem::path> fileAnswers;   // empty: cancelled
  std::deque<std::filesystem::path> folderAnswers;
  bool shellWorks = true;

  const std::string& Status() { return texts[ui::TextView::Status]; }
  bool IsEnabled(int id) const {
    const auto it = enabled.find(id);
    return it == enabled.end() || it->second;
  }

  void SetText(ui::TextView view, const std::string& text) override {
    texts[view] = text;
    if (view == ui::TextView::Status) statusHistory.push_back(text);
  }
  void SetStatusDetails(bool available) override { statusDetails = available; }
  void ShowDetailsBox(const std::string& title, const std::string& text) override {
    detailsBoxes.push_back({ui::BoxKind::Information, title, text, ui::BoxButtons::Ok, ui::BoxAnswer::Ok});
  }
  void SetControlText(int id, const std::string& text) override { controlTexts[id] = text; }
  void SetControlEnabled(int id, bool on) override { enabled[id] = on; }
  void SetComboItems(int id, const std::vector<std::string>& items, int selected) override {
    combos[id] = {items, selected};
  }
  void SetComboSelection(int id, int selected) override { combos[id].selected = selected; }
  void SetTooltip(int id, const std::string& text) override { tooltips[id] = text; }
  void Repaint(ui::PaintArea area) override { ++repaints[area]; }

  ui::BoxAnswer ShowBox(ui::BoxKind kind, const std::string& title, const std::string& text, ui::BoxButtons buttons,
                        ui::BoxAnswer defaultButton) override {
    boxes.push_back({kind, title, text, buttons, defaultButton});
    if (boxAnswers.empty()) return defaultButton;
    const ui::BoxAnswer a = boxAnswers.front();
    boxAnswers.pop_front();
    return a;
  }

  bool PickFile(const ui::FileDialogRequest& request, std::filesystem::path& chosen) override {
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return false;
    chosen = fileAnswers.front();
    fileAnswers.pop_front();
    return true;
  }
  bool PickFolder(const std::string& title, const std::filesystem::path&, std::filesystem::path& chosen) override {
    folderTitles.push_back(title);
    if (folderAnswers.empty()) return false;
    chosen = folderAnswers.front();
    folderAnswers.pop_front();
    return true;
  }

  void ProgressBegin(const std::string& title, bool) override { progressTitles.push_back(title); }
  bool ProgressStep(int, const std::string&) override { return true; }
  void ProgressEnd() override {}
  void PostToUi(std::function<void()> task) override { posted_.Post(std::move(task)); }
  // Runs what was posted so far; false when nothing was.
  bool RunPosted() { return posted_.Run(); }

  bool RevealFile(const std::filesystem::path& file) override {
    revealed.push_back(file);
    return shellWorks;
  }
  bool OpenFolder(const std::filesystem::path& folder) override {
    openedFolders.push_back(folder);
    return shellWorks;
  }
  bool OpenUrl(const std::string& url) override {
    openedUrls.push_back(url);
    return shellWorks;
  }
  bool OpenSoundSettings(std::string& error) override {
    ++soundSettings;
    if (!shellWorks) error = "没找到声音设置程序。";
    return shellWorks;
  }
  void ShowDonationWindow() override { ++donations; }
  ui::TrackDialogResult ShowTrackDialog(const ui::TrackDialogModel&) override { return {}; }
  ui::FocusKind Focus() const override { return ui::FocusKind::Other; }
  ui::PreviewView* Preview() override { return &preview; }

 private:
  test::PostQueue posted_;
};

}  // namespace vesk::test
