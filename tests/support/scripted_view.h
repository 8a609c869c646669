#pragma once
// A ViewPort and Desktop that keep what the controller asked for (texts,
// states, combo items, boxes, shell requests) and answer dialogs from a
// script. Every method records; nothing draws.
#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// The window and the desktop as a record; Apply keeps the latest of every
// control field and text, and the history of status texts.
class ScriptedView : public ui::ViewPort, public ui::Desktop {
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
  std::map<int, bool> checked;
  std::map<int, Combo> combos;
  std::map<int, std::string> tooltips;
  std::map<ui::PaintArea, int> repaints;
  std::vector<Box> boxes;
  std::vector<Box> detailsBoxes;  // kind Details
  bool statusDetails = false;
  std::vector<ui::FileDialogRequest> fileRequests;
  std::vector<std::string> folderTitles;
  std::vector<std::filesystem::path> revealed;
  std::vector<std::filesystem::path> openedFolders;
  std::vector<std::string> openedUrls;
  std::vector<std::string> progressTitles;
  std::vector<std::pair<int, std::string>> steps;  // every ProgressStep
  int progressDepth = 0;
  int progressEnds = 0;
  int trackDialogs = 0;
  int soundSettings = 0;
  int donations = 0;
  std::atomic<int> wakes{0};
  ui::FocusKind focus = ui::FocusKind::Other;
  ScriptedPreview preview;

  // --- the script ---
  std::deque<ui::BoxAnswer> boxAnswers;            // empty: the default button
  std::deque<std::filesystem::path> fileAnswers;   // empty: cancelled
  std::deque<std::filesystem::path> folderAnswers;
  // Presses the progress window's cancel button once it holds.
  std::function<bool(int percent, const std::string& stage)> cancelWhen;
  std::function<ui::TrackDialogResult(const ui::TrackDialogModel&)> trackDialog;
  // Answers of the number forms; empty: cancelled. The note seen for the
  // answer goes to `numberNotes`.
  std::deque<std::vector<double>> numberAnswers;
  std::vector<ui::NumberDialogModel> numberDialogs;
  std::vector<std::string> numberNotes;
  bool shellWorks = true;

  const std::string& Status() { return texts[ui::TextView::Status]; }
  bool IsEnabled(int id) const {
    const auto it = enabled.find(id);
    return it == enabled.end() || it->second;
  }

  void Apply(const ui::WindowChanges& changes) override {
    for (const ui::ControlChange& c : changes.controls) {
      if (c.fields & ui::kFieldLabel) controlTexts[c.id] = *c.state.label;
      if (c.fields & ui::kFieldEnabled) enabled[c.id] = c.state.enabled;
      if (c.fields & ui::kFieldChecked) checked[c.id] = c.state.checked;
      if (c.fields & ui::kFieldTooltip) tooltips[c.id] = *c.state.tooltip;
      if (c.fields & ui::kFieldItems) combos[c.id] = {*c.state.items, c.state.selected};
      if (c.fields & ui::kFieldSelection) combos[c.id].selected = c.state.selected;
    }
    for (const auto& [view, text] : changes.texts) {
      texts[view] = text;
      if (view == ui::TextView::Status) statusHistory.push_back(text);
    }
    if (changes.statusDetails) statusDetails = *changes.statusDetails;
    if (changes.repaintWave) ++repaints[ui::PaintArea::Wave];
    if (changes.repaintMeter) ++repaints[ui::PaintArea::Meter];
  }
  ui::BoxAnswer ShowBox(ui::BoxKind kind, const std::string& title, const std::string& text, ui::BoxButtons buttons,
                        ui::BoxAnswer defaultButton) override {
    if (kind == ui::BoxKind::Details) {
      detailsBoxes.push_back({kind, title, text, buttons, defaultButton});
      return ui::BoxAnswer::Ok;
    }
    boxes.push_back({kind, title, text, buttons, defaultButton});
    if (boxAnswers.empty()) return defaultButton;
    const ui::BoxAnswer a = boxAnswers.front();
    boxAnswers.pop_front();
    return a;
  }

  bool PickFile(const ui::FileDialogRequest& request, std::filesystem::path& chosen) override {
    std::deque<std::filesystem::path>& answers = request.pickFolder ? folderAnswers : fileAnswers;
    if (request.pickFolder)
      folderTitles.push_back(request.title);
    else
      fileRequests.push_back(request);
    if (answers.empty()) return false;
    chosen = answers.front();
    answers.pop_front();
    return !chosen.empty();  // an empty answer cancels
  }

  void ProgressBegin(const std::string& title, bool) override {
    progressTitles.push_back(title);
    ++progressDepth;
    cancelled_ = false;
  }
  bool ProgressStep(int percent, const std::string& stage) override {
    steps.emplace_back(percent, stage);
    if (cancelWhen && cancelWhen(percent, stage)) cancelled_ = true;
    return !cancelled_;
  }
  void ProgressEnd() override {
    --progressDepth;
    ++progressEnds;
  }
  void Wake() override { ++wakes; }

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
  ui::TrackDialogResult ShowTrackDialog(const ui::TrackDialogModel& model) override {
    ++trackDialogs;
    return trackDialog ? trackDialog(model) : ui::TrackDialogResult{};
  }
  bool AskNumbers(const ui::NumberDialogModel& model, std::vector<double>& values) override {
    numberDialogs.push_back(model);
    if (numberAnswers.empty()) return false;
    values = numberAnswers.front();
    numberAnswers.pop_front();
    if (model.note) numberNotes.push_back(model.note(values));
    return true;
  }
  ui::FocusKind Focus() const override { return focus; }
  ui::PreviewView* Preview() override { return &preview; }

 private:
  bool cancelled_ = false;
};

}  // namespace vesk::test
