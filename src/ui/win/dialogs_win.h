#pragma once
// The main window's secondary windows: the progress window, the donation
// window, the track dialog, message boxes and the common item dialogs.
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ui/view_port.h"
#include "ui/win/win_common.h"

namespace vesk::ui::win {

// The window procedures of these classes (ClassProc over their state).
WNDPROC ProgressProc();
WNDPROC DonateProc();
WNDPROC TrackDialogProc();
WNDPROC DetailsBoxProc();
WNDPROC NumberDialogProc();

// A modal dialog of window class `cls`: a captioned popup whose client is
// `clientW` × `clientH` 96-DPI units, centred on its owner (on the screen
// when the owner is hidden); `state` goes to the class procedure.
HWND CreateModalFrame(HWND owner, unsigned dpi, const wchar_t* cls, const std::string& title, int clientW,
                      int clientH, void* state);
// Shows `dialog` with the owner disabled and runs its messages until `done`
// holds or the application quits (`onQuit` runs then, and the quit is posted
// again for the outer loop); then destroys it and gives the owner back the
// focus.
void RunModal(HWND owner, HWND dialog, HWND focus, const bool& done, const std::function<void()>& onQuit = {});

// "VESKProgressWnd": title, stage text, bar and (when cancellable) a cancel
// button, centred on its owner, which it disables while it is up.
class ProgressWindow {
 public:
  ProgressWindow(HWND owner, unsigned dpi, HFONT font);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  bool Create(const std::string& title, bool cancellable);
  void Update(int percent, const std::string& stage);
  bool Cancelled() const { return cancelled_; }
  HWND Handle() const { return hwnd_; }
  // True for the progress window and its controls.
  bool Owns(HWND hwnd) const;

 private:
  template <typename T>
  friend LRESULT CALLBACK ClassProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND owner_;
  unsigned dpi_;
  HFONT font_;
  HWND hwnd_ = nullptr, stage_ = nullptr, bar_ = nullptr;
  bool cancellable_ = false;
  bool cancelled_ = false;
  int percent_ = -1;
  std::wstring stageText_;
};

// Shows the donation window, or brings the open one to the front.
void ShowDonateWindow(HWND owner, unsigned dpi);

// The track dialog, modal over `owner`.
TrackDialogResult RunTrackDialog(HWND owner, unsigned dpi, const TrackDialogModel& model);

// "VESKDetailsBox": the whole `text` in a read-only field (an "Edit"
// control, selectable) and a close button, modal over `owner`.
void RunDetailsBox(HWND owner, unsigned dpi, const std::string& title, const std::string& text);

// "VESKNumberDialog": the number form, modal over `owner`.
bool RunNumberDialog(HWND owner, unsigned dpi, const NumberDialogModel& model, std::vector<double>& values);

BoxAnswer ShowMessageBox(HWND owner, BoxKind kind, const std::string& title, const std::string& text,
                         BoxButtons buttons, BoxAnswer defaultButton);
// False when cancelled or when the dialog could not be shown (a message box
// then says why).
bool PickFileDialog(HWND owner, const FileDialogRequest& request, std::filesystem::path& chosen);
bool PickFolderDialog(HWND owner, const std::string& title, const std::filesystem::path& initial,
                      std::filesystem::path& chosen);

}  // namespace vesk::ui::win
