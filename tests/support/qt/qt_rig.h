#pragma once
// Helpers of the Qt window tests: screenshots, waiting with the event loop
// running, and scripted answers to the modal dialogs and menus the window
// opens (message boxes, file dialogs, popup menus).
#include <QWidget>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/app_controller.h"
#include "ui/app_parts.h"
#include "ui/qt/main_window_qt.h"

class QTimer;

namespace vesk::test {

class ScratchDir;

// Options of a window whose settings, recordings, logs and desktop live in
// `dir`; `ini` holds settings lines written before the start ("Format=1"),
// none keeps the settings file as it is.
ui::AppOptions WindowOptions(const ScratchDir& dir, const std::vector<std::string>& ini);

// The controller over `window`, built as the application builds it and
// attached; keep it in a member declared after the window (it goes first).
std::unique_ptr<ui::AppController> AttachController(ui::qt::MainWindow& window, ui::AppParts parts,
                                                    ui::AppOptions options);

// build/<preset>/screens, created on first use.
std::filesystem::path ScreensDir();
// Saves a grab of `widget` as ScreensDir()/name.png.
void SaveScreen(QWidget& widget, const std::string& name);
// Saves what the screen shows (a window with its dialogs over it) as
// ScreensDir()/name.png: the display's own picture on a real display (Xvfb),
// the visible top-level windows drawn at their places on the offscreen one.
void SaveDesktop(const std::string& name);

// Runs the event loop until `done` is true or `ms` have passed.
bool WaitFor(const std::function<bool()>& done, int ms);

// Answers dialogs and popups in order as they come up. Each step sees the
// active modal widget (or the active popup) and returns true when it dealt
// with it; a step that returns false is tried again on the next poll.
class DialogScript {
 public:
  using Step = std::function<bool(QWidget* active)>;
  DialogScript();
  ~DialogScript();
  DialogScript& Then(Step step);
  bool Done() const { return steps_.empty(); }
  // The texts of the message boxes answered so far.
  const std::vector<std::string>& BoxTexts() const { return boxTexts_; }

  // Ready-made steps.
  Step AnswerBox(bool yes);
  static Step AcceptFile(const std::filesystem::path& path);
  static Step CancelDialog();
  static Step ChooseMenuItem(const std::string& text);
  // Types a key into the active dialog (Escape, Return, …).
  static Step PressKey(int key);
  // Runs `check` while the dialog is up, then closes it with Escape.
  static Step Inspect(std::function<void(QWidget* active)> check);

 private:
  void Poll();
  std::deque<Step> steps_;
  std::vector<std::string> boxTexts_;
  QTimer* timer_;
};

}  // namespace vesk::test
