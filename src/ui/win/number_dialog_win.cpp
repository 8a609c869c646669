// The number form (gain, custom loudness target): one edit field per
// number with its label and unit, the note under them that follows what is
// typed, and OK/cancel. A value that is not a number in range keeps the
// form open and says what is allowed.
#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win/wide.h"
#include "ui/win/dialogs_win.h"

namespace vesk::ui::win {
namespace {

constexpr int kWidth = 380;  // client, 96-DPI units
constexpr int kRowHeight = 34;
constexpr int kIdNote = 90;
constexpr int kIdFirstField = 100;

struct NumberState {
  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  const NumberDialogModel* model = nullptr;
  std::vector<HWND> fields;
  HWND note = nullptr;
  bool done = false;
  bool accepted = false;
  std::vector<double> values;  // read on OK, while the fields exist

  // The field's value; false when it is not a number within its range.
  bool Read(size_t i, double& value) const {
    wchar_t text[64] = {};
    GetWindowTextW(fields[i], text, 63);
    // A typographic minus reads as a minus.
    const std::string typed = WideToUtf8(text);
    std::string s;
    for (size_t i = 0; i < typed.size();) {
      const bool minus = typed.compare(i, 3, "\xE2\x88\x92") == 0;
      s += minus ? '-' : typed[i];
      i += minus ? 3 : 1;
    }
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    while (end && (*end == ' ')) ++end;
    const NumberField& f = model->fields[i];
    return end != s.c_str() && end && *end == '\0' && std::isfinite(value) && value >= f.min - 1e-9 &&
           value <= f.max + 1e-9;
  }
  // The note for what is typed now, or what the first bad field allows.
  void Refresh() {
    std::vector<double> values(fields.size());
    for (size_t i = 0; i < fields.size(); ++i)
      if (!Read(i, values[i])) {
        const NumberField& f = model->fields[i];
        SetWindowTextW(note, Utf8ToWide(Format("「%s」请填 %.*f 到 %.*f 之间的数。", f.label.c_str(), f.decimals, f.min,
                                               f.decimals, f.max))
                                 .c_str());
        return;
      }
    SetWindowTextW(note, model->note ? Utf8ToWide(model->note(values)).c_str() : L"");
  }
  void Accept() {
    values.assign(fields.size(), 0.0);
    for (size_t i = 0; i < fields.size(); ++i) {
      double& v = values[i];
      if (!Read(i, v)) {
        MessageBeep(MB_ICONWARNING);
        SetFocus(fields[i]);
        SendMessageW(fields[i], EM_SETSEL, 0, -1);
        Refresh();
        return;
      }
    }
    accepted = true;
    done = true;
  }
};

}  // namespace

LRESULT NumberState::OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK && HIWORD(wp) == BN_CLICKED) Accept();
      if (LOWORD(wp) == IDCANCEL && HIWORD(wp) == BN_CLICKED) done = true;
      if (HIWORD(wp) == EN_CHANGE && LOWORD(wp) >= kIdFirstField) Refresh();
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
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

WNDPROC NumberDialogProc() { return &ClassProc<NumberState>; }

bool RunNumberDialog(HWND owner, unsigned dpi, const NumberDialogModel& model, std::vector<double>& values) {
  NumberState state;
  state.model = &model;
  GdiObject<HFONT> font(MakeFont(ScaleUnits(12, dpi)));
  const auto px = [dpi](int u) { return ScaleUnits(u, dpi); };
  const int rows = int(model.fields.size());
  const int noteTop = 12 + rows * kRowHeight;
  const int height = noteTop + 40 + 12 + 28 + 12;

  HINSTANCE instance = GetModuleHandleW(nullptr);
  HWND dialog = CreateModalFrame(owner, dpi, kNumberDialogClass, model.title, kWidth, height, &state);
  if (!dialog) return false;
  auto child = [&](const wchar_t* cls, const std::wstring& text, DWORD extra, int id, int l, int t, int cw, int ch,
                   DWORD exStyle = 0) {
    HWND c = CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | extra, px(l), px(t), px(cw), px(ch),
                             dialog, reinterpret_cast<HMENU>(INT_PTR(id)), instance, nullptr);
    SendMessageW(c, WM_SETFONT, WPARAM(HFONT(font)), FALSE);
    return c;
  };
  for (int i = 0; i < rows; ++i) {
    const NumberField& f = model.fields[size_t(i)];
    const int top = 12 + i * kRowHeight;
    child(L"Static", Utf8ToWide(f.label), SS_RIGHT | SS_CENTERIMAGE, 0, 12, top, 96, 26);
    state.fields.push_back(child(L"Edit", Utf8ToWide(Format("%.*f", f.decimals, f.value)), WS_TABSTOP | ES_AUTOHSCROLL,
                                 kIdFirstField + i, 116, top, 120, 26, WS_EX_CLIENTEDGE));
    child(L"Static", Utf8ToWide(f.unit), SS_LEFT | SS_CENTERIMAGE, 0, 244, top, 120, 26);
  }
  state.note = child(L"Static", L"", SS_LEFT, kIdNote, 12, noteTop + 4, kWidth - 24, 36);
  child(L"Button", L"确定", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, kWidth - 12 - 84 - 8 - 84, height - 12 - 28, 84, 28);
  child(L"Button", L"取消", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, kWidth - 12 - 84, height - 12 - 28, 84, 28);
  state.Refresh();

  HWND first = state.fields.empty() ? nullptr : state.fields.front();
  if (first) SendMessageW(first, EM_SETSEL, 0, -1);
  RunModal(owner, dialog, first, state.done);
  if (!state.accepted) return false;
  values = std::move(state.values);
  return true;
}

}  // namespace vesk::ui::win
