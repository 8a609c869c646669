#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "ui/win/dialogs_win.h"

namespace vesk::ui::win {
namespace {

constexpr int kIdStage = 10;
constexpr int kIdBar = 11;
constexpr int kClientW = 380, kClientH = 118;

}  // namespace

ProgressWindow::ProgressWindow(HWND owner, unsigned dpi, HFONT font) : owner_(owner), dpi_(dpi), font_(font) {}

ProgressWindow::~ProgressWindow() {
  // The owner comes back before the progress window goes, so activation
  // returns to it rather than to another program.
  if (owner_) EnableWindow(owner_, TRUE);
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

bool ProgressWindow::Create(const std::string& title, bool cancellable) {
  cancellable_ = cancellable;
  const auto px = [this](int u) { return ScaleUnits(u, dpi_); };
  const DWORD style = WS_POPUP | WS_CAPTION | (cancellable ? WS_SYSMENU : 0);
  RECT frame{0, 0, px(kClientW), px(kClientH)};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  RECT ownerRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (owner_ && IsWindowVisible(owner_)) GetWindowRect(owner_, &ownerRect);
  const int x = ownerRect.left + (ownerRect.right - ownerRect.left - w) / 2;
  const int y = ownerRect.top + (ownerRect.bottom - ownerRect.top - h) / 2;
  const std::wstring wtitle = Wide(title);
  hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kProgressClass, wtitle.c_str(), style, x, y, w, h, owner_, nullptr,
                          GetModuleHandleW(nullptr), this);
  if (!hwnd_) return false;
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  stage_ = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                           px(16), px(14), px(kClientW - 32), px(22), hwnd_,
                           reinterpret_cast<HMENU>(INT_PTR(kIdStage)), inst, nullptr);
  bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, px(16), px(42), px(kClientW - 32), px(18),
                         hwnd_, reinterpret_cast<HMENU>(INT_PTR(kIdBar)), inst, nullptr);
  SendMessageW(bar_, PBM_SETRANGE32, 0, 100);
  if (cancellable) {
    HWND cancel = CreateWindowExW(0, L"Button", L"取消", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                  px(kClientW - 16 - 88), px(74), px(88), px(28), hwnd_,
                                  reinterpret_cast<HMENU>(INT_PTR(IDCANCEL)), inst, nullptr);
    SendMessageW(cancel, WM_SETFONT, WPARAM(font_), TRUE);
  }
  SendMessageW(stage_, WM_SETFONT, WPARAM(font_), TRUE);
  // Input to the owner is refused while the work runs.
  if (owner_) EnableWindow(owner_, FALSE);
  if (owner_ == nullptr || IsWindowVisible(owner_)) {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
  }
  return true;
}

void ProgressWindow::Update(int percent, const std::string& stage) {
  if (!hwnd_) return;
  percent = std::clamp(percent, 0, 100);
  if (percent != percent_) {
    percent_ = percent;
    SendMessageW(bar_, PBM_SETPOS, WPARAM(percent), 0);
  }
  std::wstring text = Wide(stage);
  if (text != stageText_) {
    stageText_ = std::move(text);
    SetWindowTextW(stage_, stageText_.c_str());
  }
}

bool ProgressWindow::Owns(HWND hwnd) const { return hwnd_ && (hwnd == hwnd_ || IsChild(hwnd_, hwnd)); }

LRESULT ProgressWindow::OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL && cancellable_) {
        cancelled_ = true;
        if (HWND cancel = GetDlgItem(hwnd, IDCANCEL)) EnableWindow(cancel, FALSE);
      }
      return 0;
    case WM_CLOSE:
      // Closing means cancelling; the window itself goes with the work.
      if (cancellable_) SendMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
      return 0;
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

WNDPROC ProgressProc() { return &ClassProc<ProgressWindow>; }

}  // namespace vesk::ui::win
