// The track dialog: pick, audition, import or mix the audio tracks of a file.
#include <windows.h>

#include <algorithm>

#include "ui/win/dialogs_win.h"

namespace vesk::ui::win {
namespace {

enum : int {
  kIdIntro = 100,
  kIdNote,
  kIdList,
  kIdAudition,
  kIdStop,
  kIdStatus,
  kIdMix,
};
constexpr int kWidth = 470;  // client, 96-DPI units
constexpr int kItemHeight = 22;
constexpr int kMaxVisibleItems = 10;

struct DialogState {
  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  const TrackDialogModel* model = nullptr;
  unsigned dpi = 96;
  GdiObject<HFONT> font;
  TrackDialogResult result;
  bool done = false;
  bool auditioning = false;
};

int Selected(HWND dialog) {
  const LRESULT sel = SendDlgItemMessageW(dialog, kIdList, LB_GETCURSEL, 0, 0);
  return sel == LB_ERR ? -1 : int(sel);
}

void ApplyFeedback(HWND dialog, DialogState& state, const TrackDialogModel::Feedback& feedback) {
  SetDlgItemTextW(dialog, kIdStatus, Wide(feedback.status).c_str());
  EnableWindow(GetDlgItem(dialog, kIdStop), feedback.stopEnabled);
  state.auditioning = feedback.stopEnabled;
}

void Finish(HWND dialog, DialogState& state, int action) {
  // Import, mix and cancel end a running audition first.
  if (state.auditioning && state.model->stopAudition) state.model->stopAudition();
  state.auditioning = false;
  const int sel = Selected(dialog);
  state.result.action = action;
  state.result.track = sel < 0 ? 0 : sel;
  state.done = true;
}

void OnCommand(HWND dialog, DialogState& state, int id) {
  switch (id) {
    case kIdAudition:
      if (state.model->audition) {
        EnableWindow(GetDlgItem(dialog, kIdStop), FALSE);
        HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        ApplyFeedback(dialog, state, state.model->audition(std::max(0, Selected(dialog))));
        SetCursor(old);
      }
      break;
    case kIdStop:
      if (state.model->stopAudition) ApplyFeedback(dialog, state, state.model->stopAudition());
      break;
    case IDOK:
      Finish(dialog, state, 1);
      break;
    case kIdMix:
      Finish(dialog, state, 2);
      break;
    case IDCANCEL:
      Finish(dialog, state, 0);
      break;
    default:
      break;
  }
}

HWND Child(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id, const RECT& r,
           HFONT font) {
  HWND h = CreateWindowExW(cls == std::wstring(L"ListBox") ? WS_EX_CLIENTEDGE : 0, cls, text.c_str(),
                           WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
                           reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(h, WM_SETFONT, WPARAM(font), FALSE);
  return h;
}

}  // namespace

LRESULT DialogState::OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      {
        if (LOWORD(wp) == kIdList && HIWORD(wp) == LBN_DBLCLK) {
          OnCommand(hwnd, *this, IDOK);
        } else if (HIWORD(wp) == BN_CLICKED) {
          OnCommand(hwnd, *this, LOWORD(wp));
        }
      }
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE:
      OnCommand(hwnd, *this, IDCANCEL);
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

WNDPROC TrackDialogProc() { return &ClassProc<DialogState>; }

TrackDialogResult RunTrackDialog(HWND owner, unsigned dpi, const TrackDialogModel& model) {
  DialogState state;
  state.model = &model;
  state.dpi = dpi;
  state.font.Reset(MakeFont(ScaleUnits(12, dpi)));
  const auto px = [dpi](int u) { return ScaleUnits(u, dpi); };
  const auto rect = [&](int x, int y, int w, int h) { return RECT{px(x), px(y), px(x + w), px(y + h)}; };

  // The list shows every track up to ten rows, then scrolls.
  const int rows = std::clamp(int(model.trackLabels.size()), 1, kMaxVisibleItems);
  const int listH = rows * kItemHeight + 4;
  const int listY = 82;
  const int auditionY = listY + listH + 10;
  const int statusY = auditionY + 34;
  const int bottomY = statusY + 32;
  const int clientH = bottomY + 28 + 14;

  HWND dialog = CreateModalFrame(owner, dpi, kTrackDialogClass, model.title, kWidth, clientH, &state);
  if (!dialog) return {};
  const HFONT font = state.font;
  Child(dialog, L"Static", Wide(model.intro), SS_LEFT | SS_NOPREFIX, kIdIntro, rect(16, 14, kWidth - 32, 22), font);
  Child(dialog, L"Static", Wide(model.note), SS_LEFT | SS_NOPREFIX, kIdNote, rect(16, 38, kWidth - 32, 40), font);
  HWND list = Child(dialog, L"ListBox", L"",
                    WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS, kIdList,
                    rect(16, listY, kWidth - 32, listH), font);
  SendMessageW(list, LB_SETITEMHEIGHT, 0, px(kItemHeight));
  for (const std::string& label : model.trackLabels)
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(label).c_str()));
  SendMessageW(list, LB_SETCURSEL, 0, 0);
  Child(dialog, L"Button", L"▶ 试听", WS_TABSTOP | BS_PUSHBUTTON, kIdAudition, rect(16, auditionY, 96, 28), font);
  HWND stop = Child(dialog, L"Button", L"■ 停止试听", WS_TABSTOP | BS_PUSHBUTTON, kIdStop,
                    rect(120, auditionY, 110, 28), font);
  EnableWindow(stop, FALSE);
  Child(dialog, L"Static", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kIdStatus, rect(16, statusY, kWidth - 32, 22),
        font);
  Child(dialog, L"Button", L"导入选中的音轨", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK,
        rect(kWidth - 16 - 84 - 8 - 116 - 8 - 130, bottomY, 130, 28), font);
  Child(dialog, L"Button", L"全部混入一条", WS_TABSTOP | BS_PUSHBUTTON, kIdMix,
        rect(kWidth - 16 - 84 - 8 - 116, bottomY, 116, 28), font);
  Child(dialog, L"Button", L"取消", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, rect(kWidth - 16 - 84, bottomY, 84, 28),
        font);

  // The application ending counts as cancel.
  RunModal(owner, dialog, list, state.done, [&] { OnCommand(dialog, state, IDCANCEL); });
  return state.result;
}

}  // namespace vesk::ui::win
