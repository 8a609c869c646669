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

  HWND dialog = CreateModalFrame(owner, dpi, kDetailsBoxClass, title, kWidth, kHeight, &state);
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

  RunModal(owner, dialog, field, state.done);
}

}  // namespace vesk::ui::win
