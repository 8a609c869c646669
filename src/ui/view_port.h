#pragma once
// The controller's way to the screen. The Windows window (ui/win/), the Qt
// window (ui/qt/) and the scripted view of the tests implement it.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "ui/window_state.h"
#include "video/preview_decoder.h"

namespace vesk::ui {

// Details: the whole text (never shortened), selectable for copying, with a
// close button; it answers Ok.
enum class BoxKind { Information, Warning, Error, Question, Details };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

struct FileFilter {
  std::string label;                    // "音频/视频文件"
  std::vector<std::string> extensions;  // without dot, lower case: "wav", "mp3"; none and no names: every file
  std::vector<std::string> fileNames{};  // whole names that also match ("ffmpeg.exe"), case-insensitive
};

struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::filesystem::path folder;  // initial folder, may be empty
  std::string fileName;          // proposed name (save dialogs)
  std::vector<FileFilter> filters;
  bool pickFolder = false;  // a folder, not a file (`folder` is where the picker starts)
};

// One entry of a popup menu. A separator has id 0 and an empty text; a
// greyed information line has id 0 and a text.
struct MenuItem {
  int id = 0;
  std::string text;
  bool checked = false;
  bool enabled = true;
  bool separator = false;
};

// The track dialog of a file with several audio tracks. The view shows the
// title, the two texts, the list (first selected) and the buttons; audition
// and stop call back into the edit area, which answers with the dialog's
// status line and whether the stop button is enabled.
struct TrackDialogModel {
  std::string title;   // "选择音轨 - " + file name
  std::string intro;   // "这个文件里有 N 条音轨。…"
  std::string note;    // "只剪这一条：…"
  std::vector<std::string> trackLabels;
  struct Feedback {
    std::string status;
    bool stopEnabled = false;
  };
  std::function<Feedback(int track)> audition;
  std::function<Feedback()> stopAudition;
};
// 0 cancel, 1 import the selected track, 2 mix all tracks.
struct TrackDialogResult {
  int action = 0;
  int track = 0;
};

// A small form of numbers with OK and cancel (the gain, the custom loudness
// target). Each field is a spin box from min to max; the note under the
// fields follows the values as the user changes them.
struct NumberField {
  std::string label;  // left of the box
  std::string unit;   // right of it
  double value = 0, min = 0, max = 0, step = 1;
  int decimals = 1;
};
struct NumberDialogModel {
  std::string title;
  std::vector<NumberField> fields;
  std::function<std::string(const std::vector<double>& values)> note;  // optional
};

// The video preview window: a top-level window of its own that shows one
// picture at a time, scaled into its client area with its shape kept. The
// controller opens, feeds and closes it; the window only reports what the
// user did to it.
struct PreviewEvents {
  std::function<void()> moved;         // moved or resized (repeatedly while dragged)
  std::function<void()> closedByUser;  // its own close box; the window is still up
};

class PreviewView {
 public:
  virtual ~PreviewView() = default;
  // Shows the window at `frame` (screen pixels, as Frame reports it), or
  // where the view places a first preview. `events` stay in force until Hide.
  virtual void Show(const std::optional<WindowRect>& frame, PreviewEvents events) = 0;
  // Hides the window and drops its picture and events.
  virtual void Hide() = 0;
  virtual bool Shown() const = 0;
  virtual void ShowPicture(std::shared_ptr<const PreviewPicture> picture) = 0;
  // Where the window is on the screen (what PreviewRect stores).
  virtual WindowRect Frame() const = 0;
  // The picture area in pixels.
  virtual PreviewSize ClientSize() const = 0;
  // The pixel layout ShowPicture takes.
  virtual PreviewPixels Pixels() const = 0;
  // The screen the saved rectangle is checked against.
  virtual ScreenMetrics Screen() const = 0;
};

// Which kind of control holds the keyboard focus (the key rules differ).
enum class FocusKind { Other, TextField, DropDown, Wave };

// The controller's only way to the screen. The view applies the computed
// window state's changes, shows dialogs and the progress window, and wakes
// its loop for posted work (the controller's task queue runs it).
//
// Threads: every call comes from the user-interface thread, except Wake,
// which any thread may call.
class ViewPort {
 public:
  virtual ~ViewPort() = default;

  // Control labels, states, items and tooltips, the text views, the status
  // line's details mark (a click on a marked line reaches the controller's
  // OnStatusClicked) and repaints of the painted areas.
  virtual void Apply(const WindowChanges& changes) = 0;

  // A modal message box; returns the button pressed. A Yes/No box that is
  // dismissed otherwise (Escape, its close button) answers No.
  virtual BoxAnswer ShowBox(BoxKind kind, const std::string& title, const std::string& text,
                            BoxButtons buttons = BoxButtons::Ok, BoxAnswer defaultButton = BoxAnswer::Ok) = 0;
  // A file (or, with request.folder, a folder) picker. False when the user cancelled.
  virtual bool PickFile(const FileDialogRequest& request, std::filesystem::path& chosen) = 0;
  virtual TrackDialogResult ShowTrackDialog(const TrackDialogModel& model) = 0;
  // False when the user cancelled; `values` then stays as it was. On OK one
  // value per field, within its range.
  virtual bool AskNumbers(const NumberDialogModel& model, std::vector<double>& values) = 0;

  // The progress window of long work on the user-interface thread. While it
  // is up the window stays alive (messages are pumped from ProgressStep) and
  // input to the main window is refused; the controller runs no tick and no
  // posted work meanwhile. ProgressStep returns false once the user pressed cancel.
  virtual void ProgressBegin(const std::string& title, bool cancellable) = 0;
  virtual bool ProgressStep(int percent, const std::string& stage) = 0;
  virtual void ProgressEnd() = 0;

  // Work was posted: the view has its loop call AppController::OnWake soon.
  // Any thread.
  virtual void Wake() = 0;

  virtual FocusKind Focus() const = 0;
  // The main window's DPI (the diagnostics snapshot shows it).
  virtual unsigned Dpi() const { return 96; }
  // The video preview window; nullptr where the view has none.
  virtual PreviewView* Preview() { return nullptr; }
};

// The desktop around the window: file manager, browser, the system's sound
// settings, the donation window. False with a Chinese reason when nothing
// could be started.
class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual bool RevealFile(const std::filesystem::path& file) = 0;
  virtual bool OpenFolder(const std::filesystem::path& folder) = 0;
  virtual bool OpenUrl(const std::string& url) = 0;
  virtual bool OpenSoundSettings(std::string& error) = 0;
  virtual void ShowDonationWindow() = 0;
};

}  // namespace vesk::ui
