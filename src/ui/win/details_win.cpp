// The details box of the status line: the whole text in a read-only field
// that wraps and scrolls, where it can be selected and copied.
#include <windows.h>

#include <string>

#include "ui/win/dialogs_win.h"

namespace vesk::ui::win {
namespace {

constexpr int kIdText = 100;
constexpr int kWidth = 560;   // client, 96-DPI units
constexpr int kHeight = 250;

struct DetailsState {
  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  bool done = false;
};

// The edit control breaks lines only at "\r\n".
std::wstring WithCrLf(const std::string& text) {
  std::wstring out;
  for (wchar_t c : Wide(text)) {
    if (c == L'\n') out += L'\r';
    if (c != L'\r') out += c;
  }
  return out;
}

}  // namespace

LRESULT DetailsState::OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if ((LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) && HIWORD(wp) == BN_CLICKED) done = true;
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE:
      done = true;
      return 0;
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

WNDPROC DetailsBoxProc() { return &ClassProc<DetailsState>; }

void RunDetailsBox(HWND owner, unsigned dpi, const std::string& title, const std::string& text) {
  DetailsState state;
  GdiObject<HFONT> font(MakeFont(ScaleUnits(12, dpi)));
  const auto px = [dpi](int u) { return ScaleUnits(u, dpi); };

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT frame{0, 0, px(kWidth), px(kHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  RECT ownerRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (owner && IsWindowVisible(owner)) GetWindowRect(owner, &ownerRect);
  const int x = ownerRect.left + (ownerRect.right - ownerRect.left - w) / 2;
  const int y = ownerRect.top + (ownerRect.bottom - ownerRect.top - h) / 2;
  HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kDetailsBoxClass, Wide(title).c_str(),
                                style, x, y, w, h, owner, nullptr, GetModuleHandleW(nullptr), &state);
  if (!dialog) return;
  HWND field = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"Edit", WithCrLf(text).c_str(),
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, px(12), px(12),
      px(kWidth - 24), px(kHeight - 12 - 12 - 28 - 12), dialog, reinterpret_cast<HMENU>(INT_PTR(kIdText)),
      GetModuleHandleW(nullptr), nullptr);
  SendMessageW(field, WM_SETFONT, WPARAM(HFONT(font)), FALSE);
  HWND close = CreateWindowExW(0, L"Button", L"关闭", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, px(kWidth - 12 - 84),
                               px(kHeight - 12 - 28), px(84), px(28), dialog, reinterpret_cast<HMENU>(INT_PTR(IDOK)),
                               GetModuleHandleW(nullptr), nullptr);
  SendMessageW(close, WM_SETFONT, WPARAM(HFONT(font)), FALSE);

  const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(dialog, SW_SHOWNORMAL);
  SetFocus(field);
  MSG msg;
  while (!state.done) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The application is ending: close and let the outer loop see the quit.
      if (got == 0) PostQuitMessage(int(msg.wParam));
      break;
    }
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
  DestroyWindow(dialog);
  if (owner) SetActiveWindow(owner);
}

}  // namespace vesk::ui::win
