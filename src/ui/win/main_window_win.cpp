#include "ui/win/main_window_win.h"

#include <commctrl.h>
#include <dwmapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "core/settings.h"
#include "core/version.h"
#include "platform/shell_open.h"
#include "platform/single_instance.h"
#include "ui/box_text.h"
#include "ui/control_ids.h"
#include "ui/edit_area.h"
#include "ui/input_events.h"
#include "ui/view_tables.h"
#include "ui/win/dialogs_win.h"
#include "ui/win/preview_window_win.h"
#include "ui/win/wave_view_win.h"

namespace vesk::ui::win {
namespace {

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 33;
constexpr int kMenuKeyInset = 40;  // units inside the window's top-left corner
constexpr int kComboDropUnits = 240;
constexpr int kComboItemUnits = 22;
// Rounded corners where the desktop window manager offers them.
constexpr DWORD kDwmCornerPreference = 33;  // DWMWA_WINDOW_CORNER_PREFERENCE
constexpr DWORD kDwmCornerRound = 2;        // DWMWCP_ROUND



Key KeyOfVirtual(WPARAM vk) {
  switch (vk) {
    case VK_SPACE: return Key::Space;
    case VK_LEFT: return Key::Left;
    case VK_RIGHT: return Key::Right;
    case VK_UP: return Key::Up;
    case VK_DOWN: return Key::Down;
    case VK_HOME: return Key::Home;
    case VK_END: return Key::End;
    case VK_DELETE: return Key::Delete;
    case VK_ESCAPE: return Key::Escape;
    case 'A': return Key::A;
    case 'O': return Key::O;
    case 'Y': return Key::Y;
    case 'Z': return Key::Z;
    default: return Key::Other;
  }
}

// A message handled with `value` as its result.
bool Handled(LRESULT& result, LRESULT value) {
  result = value;
  return true;
}

bool IsInputMessage(UINT msg) {
  return (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) ||
         (msg >= WM_NCLBUTTONDOWN && msg <= WM_NCMBUTTONDBLCLK) || msg == WM_DROPFILES || msg == WM_CONTEXTMENU;
}

// Screen facts with the frame of this window: the sizing frame at the sides
// and the bottom (`extra` in all), the caption band inside the client area.
ScreenMetrics MetricsForThisFrame(unsigned dpi, SIZE extra) {
  ScreenMetrics m = CurrentScreenMetrics(dpi);
  m.adjustFrame = [extra](const WindowRect& client) {
    const int side = extra.cx / 2;
    return WindowRect{client.left - side, client.top, client.right + extra.cx - side, client.bottom + extra.cy};
  };
  return m;
}


// A drop-down list's field follows its item height, which some systems
// round: step towards the wanted field height a few times.
void FitComboField(HWND combo, int field) {
  int request = int(SendMessageW(combo, CB_GETITEMHEIGHT, WPARAM(-1), 0));
  for (int attempt = 0; attempt < 4; ++attempt) {
    RECT now{};
    GetWindowRect(combo, &now);
    const int delta = field - (now.bottom - now.top);
    if (delta == 0 || request + delta <= 0) return;
    request += delta;
    SendMessageW(combo, CB_SETITEMHEIGHT, WPARAM(-1), request);
  }
}

// One entry of an owner-drawn drop-down list, or its field.
void DrawComboItem(const DRAWITEMSTRUCT& item, int padding) {
  HDC dc = item.hDC;
  const bool selected = item.itemState & ODS_SELECTED;
  const bool disabled = item.itemState & ODS_DISABLED;
  FillRect(dc, &item.rcItem, GetSysColorBrush(selected && !disabled ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID != UINT(-1)) {
    const int len = int(SendMessageW(item.hwndItem, CB_GETLBTEXTLEN, item.itemID, 0));
    std::wstring text(size_t(std::max(0, len)) + 1, L'\0');
    SendMessageW(item.hwndItem, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
    text.resize(size_t(std::max(0, len)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    RECT r = item.rcItem;
    r.left += padding;
    DrawTextW(dc, text.c_str(), int(text.size()), &r,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  }
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) DrawFocusRect(dc, &item.rcItem);
}

}  // namespace

// Tooltips of the command controls, one tool per control window.
class TooltipSet {
 public:
  explicit TooltipSet(HWND owner) {
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
    if (tip_) SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 420);
  }
  ~TooltipSet() {
    if (tip_) DestroyWindow(tip_);
  }
  TooltipSet(const TooltipSet&) = delete;
  TooltipSet& operator=(const TooltipSet&) = delete;

  void Set(HWND control, const std::wstring& text) {
    if (!tip_ || !control) return;
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = GetParent(control);
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    std::wstring copy = text;
    ti.lpszText = copy.data();
    if (known_.insert(control).second) {
      SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    } else {
      SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    }
  }

 private:
  HWND tip_ = nullptr;
  std::set<HWND> known_;
};

bool RegisterWindowClasses(HINSTANCE instance) {
  // Every size is computed from the system DPI, so the system must not
  // stretch the window's bitmap on top of that.
  SetProcessDPIAware();
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);

  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.style = CS_HREDRAW | CS_VREDRAW;
  main.lpfnWndProc = ClassProc<MainWindow>;
  main.hInstance = instance;
  main.hIcon = AppIcon(GetSystemMetrics(SM_CXICON));
  main.hIconSm = AppIcon(GetSystemMetrics(SM_CXSMICON));
  main.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main.lpszClassName = kMainClass;

  WNDCLASSEXW wave{};
  wave.cbSize = sizeof wave;
  wave.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wave.lpfnWndProc = ClassProc<WaveView>;
  wave.hInstance = instance;
  wave.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
  wave.lpszClassName = kWaveClass;

  WNDCLASSEXW progress{};
  progress.cbSize = sizeof progress;
  progress.lpfnWndProc = ProgressProc();
  progress.hInstance = instance;
  progress.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  progress.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  progress.lpszClassName = kProgressClass;

  WNDCLASSEXW donate = progress;
  donate.lpfnWndProc = DonateProc();
  donate.hIcon = main.hIcon;
  donate.lpszClassName = kDonateClass;

  WNDCLASSEXW track = progress;
  track.lpfnWndProc = TrackDialogProc();
  track.lpszClassName = kTrackDialogClass;

  WNDCLASSEXW details = progress;
  details.lpfnWndProc = DetailsBoxProc();
  details.lpszClassName = kDetailsBoxClass;

  WNDCLASSEXW numbers = progress;
  numbers.lpfnWndProc = NumberDialogProc();
  numbers.lpszClassName = kNumberDialogClass;

  for (const WNDCLASSEXW* wc : {&main, &wave, &progress, &donate, &track, &details, &numbers}) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, wc->lpszClassName, &existing)) continue;  // registered before
    if (!RegisterClassExW(wc)) return false;
  }
  return true;
}

MainWindow::MainWindow() {
  HDC screen = GetDC(nullptr);
  dpi_ = unsigned(std::max(1, GetDeviceCaps(screen, LOGPIXELSX)));
  ReleaseDC(nullptr, screen);
}

MainWindow::~MainWindow() { Destroy(); }

void MainWindow::Destroy() {
  wakeTarget_ = nullptr;
  if (hwnd_) {
    // Gone without the close path (tests, end of session): streams still stop.
    if (!closing_ && controller_ != nullptr) controller_->Shutdown(std::nullopt);
    closing_ = true;
    DestroyWindow(hwnd_);
  }
  wave_.reset();
}

HWND MainWindow::WaveHandle() const { return wave_ ? wave_->Handle() : nullptr; }

bool MainWindow::Create(const MainWindowOptions& options) {
  options_ = options;
  font_.Reset(MakeFont(Px(12)));
  clockFont_.Reset(MakeFont(Px(22), FW_SEMIBOLD));
  captionFont_.Reset(MakeFont(Px(12)));
  recordFont_.Reset(MakeFont(Px(14), FW_BOLD));
  background_.Reset(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));

  const std::wstring title = Wide(AppController::WindowTitle());
  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, kMainClass, title.c_str(),
                          WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, Px(kInitialClientWidth),
                          Px(kInitialClientHeight + kCaptionHeight), nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (!hwnd_) return false;
  wakeTarget_ = hwnd_;
  const DWORD corner = kDwmCornerRound;
  DwmSetWindowAttribute(hwnd_, kDwmCornerPreference, &corner, sizeof corner);
  // The frame changed with WM_NCCALCSIZE: have the system measure it again,
  // then size the window for the initial client.
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  RECT wr{}, cr{};
  GetWindowRect(hwnd_, &wr);
  GetClientRect(hwnd_, &cr);
  frameExtra_ = {(wr.right - wr.left) - cr.right, (wr.bottom - wr.top) - cr.bottom};
  SetWindowPos(hwnd_, nullptr, 0, 0, Px(kInitialClientWidth) + frameExtra_.cx,
               Px(kInitialClientHeight + kCaptionHeight) + frameExtra_.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  CreateControls();
  ApplyLayout();
  tooltips_ = std::make_unique<TooltipSet>(hwnd_);
  DragAcceptFiles(hwnd_, TRUE);

  controller_->Start();
  RestorePlacement();
  SetTimer(hwnd_, kTickTimer, kTickMs, nullptr);
  if (!options.headless) {
    const bool maxed = controller_->Settings().mainMaxed;
    int show = options.showCommand;
    if (maxed && (show == SW_SHOWDEFAULT || show == SW_SHOWNORMAL || show == SW_SHOW)) show = SW_SHOWMAXIMIZED;
    ShowWindow(hwnd_, show);
    UpdateWindow(hwnd_);
  }
  return true;
}

void MainWindow::RestorePlacement() {
  if (const auto placed = controller_->SavedPlacement(MetricsForThisFrame(dpi_, frameExtra_))) {
    const WindowRect& r = placed->restored;
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

std::optional<MainWindowPlacement> MainWindow::CurrentPlacement() const {
  if (!hwnd_) return std::nullopt;
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  if (!GetWindowPlacement(hwnd_, &wp)) return std::nullopt;
  MainWindowPlacement p;
  RECT r{};
  if (IsZoomed(hwnd_) || IsIconic(hwnd_)) {
    // The normal position is in work-area coordinates.
    r = wp.rcNormalPosition;
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi))
      OffsetRect(&r, mi.rcWork.left - mi.rcMonitor.left, mi.rcWork.top - mi.rcMonitor.top);
  } else {
    GetWindowRect(hwnd_, &r);
  }
  p.restored = {r.left, r.top, r.right, r.bottom};
  p.maximized = IsZoomed(hwnd_) || (IsIconic(hwnd_) && (wp.flags & WPF_RESTORETOMAXIMIZED));
  return p;
}

void MainWindow::CreateControls() {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  for (const LayoutControl& c : MainLayout(kInitialClientWidth, kInitialClientHeight)) {
    HWND h = nullptr;
    const std::wstring label = Wide(c.label);
    const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id));
    const DWORD child = WS_CHILD | WS_VISIBLE;
    switch (c.kind) {
      case ControlKind::Label:
        h = CreateWindowExW(0, L"Static", label.c_str(), child | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0, 0,
                            0, hwnd_, id, inst, nullptr);
        break;
      case ControlKind::TextView: {
        // SS_NOTIFY: a cut text shows whole in its tooltip, which needs the
        // mouse; a click on the status line (STN_CLICKED) opens its details.
        const DWORD align = c.largeFont ? SS_CENTER : SS_LEFT | SS_ENDELLIPSIS | SS_NOTIFY;
        h = CreateWindowExW(0, L"Static", label.c_str(), child | align | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0, 0, 0,
                            hwnd_, id, inst, nullptr);
        break;
      }
      case ControlKind::DropDown:
        // Drawn by the program so the text sits in the middle of fields of any height.
        h = CreateWindowExW(0, L"ComboBox", L"",
                            child | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                            0, 0, 100, Px(kComboDropUnits), hwnd_, id, inst, nullptr);
        break;
      case ControlKind::Button:
        h = CreateWindowExW(0, L"Button", label.c_str(), child | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, hwnd_, id,
                            inst, nullptr);
        break;
      case ControlKind::SplitButton:
        h = CreateWindowExW(0, L"Button", label.c_str(), child | WS_TABSTOP | BS_SPLITBUTTON, 0, 0, 0, 0, hwnd_, id,
                            inst, nullptr);
        break;
      case ControlKind::OwnerButton:
        h = CreateWindowExW(0, L"Button", label.c_str(), child | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0, hwnd_, id,
                            inst, nullptr);
        break;
      case ControlKind::ReadOnlyEdit:
        h = CreateWindowExW(WS_EX_CLIENTEDGE, L"Edit", label.c_str(),
                            child | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 0, 0, 0, 0, hwnd_, id, inst, nullptr);
        break;
      case ControlKind::Wave:
        wave_ = std::make_unique<WaveView>(*controller_, dpi_);
        if (wave_->Create(hwnd_, 0)) h = wave_->Handle();
        break;
      case ControlKind::Meter:
        break;  // painted on the window itself
    }
    if (h) {
      SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(c.largeFont ? clockFont_.Get() : font_.Get()), FALSE);
      if (c.kind == ControlKind::DropDown) {
        for (const std::string& option : c.options)
          SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(option).c_str()));
        if (!c.options.empty()) SendMessageW(h, CB_SETCURSEL, 0, 0);
      }
      if (!c.key.empty()) keyed_[c.key] = h;
    }
    controls_.push_back({h, c});
  }
}

RECT MainWindow::ControlRect(const LayoutRect& r) const {
  const int top = CaptionPx();
  return {Px(r.x), top + Px(r.y), Px(r.x + r.w), top + Px(r.y + r.h)};
}

void MainWindow::ApplyLayout() {
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  const int widthUnits = MulDiv(rc.right, 96, int(dpi_));
  const int heightUnits = MulDiv(std::max(0L, rc.bottom - CaptionPx()), 96, int(dpi_));
  const std::vector<LayoutControl> layout = MainLayout(widthUnits, heightUnits);
  HDWP defer = BeginDeferWindowPos(int(controls_.size()));
  for (size_t i = 0; i < controls_.size() && i < layout.size(); ++i) {
    HWND h = controls_[i].first;
    controls_[i].second.rect = layout[i].rect;
    const RECT r = ControlRect(layout[i].rect);
    if (layout[i].kind == ControlKind::Meter) {
      meterRect_ = r;
      continue;
    }
    if (!h) continue;
    int height = r.bottom - r.top;
    if (layout[i].kind == ControlKind::DropDown) {
      FitComboField(h, height);
      height += Px(kComboDropUnits);  // a drop-down list's own height includes its list
    }
    if (defer) {
      defer = DeferWindowPos(defer, h, nullptr, r.left, r.top, r.right - r.left, height,
                             SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (defer) EndDeferWindowPos(defer);
  InvalidateRect(hwnd_, nullptr, FALSE);
}

HWND MainWindow::Control(int id) const { return hwnd_ && id > 0 ? GetDlgItem(hwnd_, id) : nullptr; }

HWND MainWindow::Keyed(const std::string& key) const {
  const auto it = keyed_.find(key);
  return it == keyed_.end() ? nullptr : it->second;
}

// ---- ViewPort ----

void MainWindow::Apply(const WindowChanges& changes) {
  for (const ControlChange& c : changes.controls) {
    HWND h = Control(c.id);
    if (!h) continue;
    const ControlState& state = c.state;
    if (c.fields & kFieldLabel) {
      const std::wstring wide = Wide(*state.label);
      if (WindowTextOf(h) != wide) SetWindowTextW(h, wide.c_str());
    }
    if ((c.fields & kFieldEnabled) && bool(IsWindowEnabled(h)) != state.enabled) EnableWindow(h, state.enabled);
    if (c.id == kIdRecord) {
      recordLook_ = state;  // the owner-drawn button paints from it
      InvalidateRect(h, nullptr, FALSE);
    }
    if ((c.fields & kFieldTooltip) && tooltips_) tooltips_->Set(h, Wide(*state.tooltip));
    if (c.fields & kFieldItems) {
      SendMessageW(h, WM_SETREDRAW, FALSE, 0);
      SendMessageW(h, CB_RESETCONTENT, 0, 0);
      for (const std::string& item : *state.items)
        SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
      SendMessageW(h, CB_SETCURSEL, WPARAM(state.selected), 0);
      SendMessageW(h, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(h, nullptr, TRUE);
    } else if (c.fields & kFieldSelection) {
      SendMessageW(h, CB_SETCURSEL, WPARAM(state.selected), 0);
    }
  }
  for (const auto& [view, text] : changes.texts) {
    HWND h = Keyed(TextViewKey(view));
    if (!h) continue;
    SetWindowTextW(h, Wide(text).c_str());
    // The status line ends in an ellipsis when it does not fit; hovering shows it whole.
    if (view == TextView::Status && tooltips_) tooltips_->Set(h, Wide(text));
  }
  if (changes.statusDetails) statusDetails_ = *changes.statusDetails;
  if (changes.repaintWave) {
    if (HWND h = WaveHandle()) InvalidateRect(h, nullptr, FALSE);
  }
  if (changes.repaintMeter && hwnd_) InvalidateRect(hwnd_, &meterRect_, FALSE);
}

BoxAnswer MainWindow::ShowBox(BoxKind kind, const std::string& title, const std::string& text, BoxButtons buttons,
                              BoxAnswer defaultButton) {
  if (kind == BoxKind::Details) {
    RunDetailsBox(hwnd_, dpi_, title, text);
    return BoxAnswer::Ok;
  }
  HWND owner = progress_ ? progress_->Handle() : hwnd_;
  return ShowMessageBox(owner, kind, CapBoxText(title), CapBoxText(text), buttons, defaultButton);
}

bool MainWindow::PickFile(const FileDialogRequest& request, std::filesystem::path& chosen) {
  if (request.pickFolder) return PickFolderDialog(hwnd_, request.title, request.folder, chosen);
  return PickFileDialog(hwnd_, request, chosen);
}

void MainWindow::ProgressBegin(const std::string& title, bool cancellable) {
  progress_.reset();
  auto window = std::make_unique<ProgressWindow>(hwnd_, dpi_, font_);
  if (!window->Create(title, cancellable)) return;
  progress_ = std::move(window);
  if (wave_) wave_->SetInputBlocked(true);
  if (GetCapture()) ReleaseCapture();
}

bool MainWindow::ProgressStep(int percent, const std::string& stage) {
  if (!progress_) return true;
  progress_->Update(percent, stage);
  // Keep every window alive; input to the main window is refused meanwhile.
  MSG m;
  while (progress_ && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(int(m.wParam));  // for the real loop, after the work
      break;
    }
    if (progress_->Owns(m.hwnd)) {
      if (!IsDialogMessageW(progress_->Handle(), &m)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
      }
      continue;
    }
    if (PreTranslate(m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return !(progress_ && progress_->Cancelled());
}

void MainWindow::ProgressEnd() {
  if (!progress_) return;
  progress_.reset();
  if (wave_) wave_->SetInputBlocked(false);
  if (hwnd_ && IsWindowVisible(hwnd_)) SetForegroundWindow(hwnd_);
}

PreviewView* MainWindow::Preview() {
  if (!preview_ && hwnd_) preview_ = std::make_unique<PreviewWindow>(hwnd_);
  return preview_.get();
}

void MainWindow::Wake() {
  if (HWND target = wakeTarget_.load()) PostMessageW(target, kMsgRenderFinished, 0, 0);
}

bool MainWindow::RevealFile(const std::filesystem::path& file) { return RevealFileInFolder(file); }

bool MainWindow::OpenFolder(const std::filesystem::path& folder) { return OpenFolderInShell(folder); }

bool MainWindow::OpenUrl(const std::string& url) {
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(hwnd_, L"open", Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

bool MainWindow::OpenSoundSettings(std::string& error) {
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(hwnd_, nullptr, L"control.exe", L"mmsys.cpl", nullptr, SW_SHOWNORMAL));
  if (result > 32) return true;
  char text[96];
  std::snprintf(text, sizeof text, "打开系统声音设置 失败（错误 %d）。", int(result));
  error = text;
  return false;
}

void MainWindow::ShowDonationWindow() { ShowDonateWindow(hwnd_, dpi_); }

TrackDialogResult MainWindow::ShowTrackDialog(const TrackDialogModel& model) {
  return RunTrackDialog(hwnd_, dpi_, model);
}

bool MainWindow::AskNumbers(const NumberDialogModel& model, std::vector<double>& values) {
  return RunNumberDialog(hwnd_, dpi_, model, values);
}

FocusKind MainWindow::Focus() const {
  HWND focus = GetFocus();
  if (!focus) return FocusKind::Other;
  if (focus == WaveHandle()) return FocusKind::Wave;
  const std::wstring cls = ClassOf(focus);
  if (_wcsicmp(cls.c_str(), L"Edit") == 0) {
    // The edit field inside a combo box belongs to the drop-down.
    HWND parent = GetParent(focus);
    if (parent && _wcsicmp(ClassOf(parent).c_str(), L"ComboBox") == 0) return FocusKind::DropDown;
    return FocusKind::TextField;
  }
  if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) return FocusKind::DropDown;
  return FocusKind::Other;
}

// ---- Input ----

bool MainWindow::PreTranslate(MSG& msg) {
  // The preview window's keys are the main window's: Space plays from there too.
  const bool fromPreview = preview_ && preview_->Handle() && msg.hwnd == preview_->Handle();
  if (!hwnd_ || !(msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd) || fromPreview)) return false;
  if (InputBlocked() && IsInputMessage(msg.message)) {
    if (msg.message == WM_DROPFILES) DragFinish(reinterpret_cast<HDROP>(msg.wParam));
    return true;  // refused while long work runs
  }
  switch (msg.message) {
    case WM_KEYUP:
    case WM_SYSKEYUP:
      // The menu key's release would open the menu a second time.
      return msg.wParam == VK_APPS || (msg.wParam == VK_F10 && GetKeyState(VK_SHIFT) < 0);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      const bool shift = GetKeyState(VK_SHIFT) < 0;
      if (msg.wParam == VK_APPS || (msg.wParam == VK_F10 && shift)) {
        RECT wr{};
        GetWindowRect(hwnd_, &wr);
        ShowContextMenuAt({wr.left + Px(kMenuKeyInset), wr.top + Px(kMenuKeyInset)});
        return true;
      }
      if (msg.message != WM_KEYDOWN) return false;
      const Key key = KeyOfVirtual(msg.wParam);
      if (key == Key::Other) return false;
      KeyEvent e;
      e.key = key;
      e.ctrl = GetKeyState(VK_CONTROL) < 0;
      e.shift = shift;
      e.autoRepeat = (msg.lParam & (1L << 30)) != 0;
      return controller_->OnKey(e);
    }
    case WM_MOUSEWHEEL:
      return wave_ && wave_->RouteWheel(GET_WHEEL_DELTA_WPARAM(msg.wParam), PointOf(msg.lParam));
    default:
      return false;
  }
}

void MainWindow::OnCommand(WPARAM wp, LPARAM lp) {
  if (InputBlocked()) return;
  const int id = LOWORD(wp);
  const int code = HIWORD(wp);
  HWND control = reinterpret_cast<HWND>(lp);
  if (control && control == Keyed("status")) {
    if (code == STN_CLICKED) controller_->OnStatusClicked();
    return;
  }
  if (id < 1000) return;  // IDOK/IDCANCEL of the dialog navigation, not commands
  if (control) {
    if (!IsWindowEnabled(control)) return;
    if (_wcsicmp(ClassOf(control).c_str(), L"ComboBox") == 0) {
      if (code == CBN_SELCHANGE) {
        const LRESULT sel = SendMessageW(control, CB_GETCURSEL, 0, 0);
        if (sel != CB_ERR) controller_->OnComboChanged(id, int(sel));
      }
      return;
    }
    if (code == BN_CLICKED) controller_->OnCommand(id);
    return;
  }
  controller_->OnCommand(id);  // a menu item
}

void MainWindow::ShowMenu(const std::vector<MenuItem>& items, POINT screen) {
  if (items.empty()) return;
  HMENU menu = CreatePopupMenu();
  for (const MenuItem& item : items) {
    if (item.separator) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    UINT flags = MF_STRING;
    if (item.checked) flags |= MF_CHECKED;
    if (!item.enabled || item.id == 0) flags |= MF_GRAYED;
    AppendMenuW(menu, flags, UINT_PTR(item.id), Wide(item.text).c_str());
  }
  const int chosen = int(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON,
                                        screen.x, screen.y, 0, hwnd_, nullptr));
  DestroyMenu(menu);
  if (chosen > 0 && !InputBlocked()) controller_->OnCommand(chosen);
}

void MainWindow::ShowContextMenuAt(POINT screen) { ShowMenu(controller_->ContextMenu(), screen); }

void MainWindow::OnDropFiles(HDROP drop) {
  std::vector<std::filesystem::path> files;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT len = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(size_t(len) + 1, L'\0');
    DragQueryFileW(drop, i, path.data(), len + 1);
    path.resize(len);
    files.emplace_back(path);
  }
  DragFinish(drop);
  if (InputBlocked() || files.empty()) return;
  controller_->OnDropFiles(files);
}

void MainWindow::OnClose() {
  if (InputBlocked() || closing_) return;
  if (!controller_->QueryClose()) return;
  closing_ = true;
  controller_->Shutdown(CurrentPlacement());
  DestroyWindow(hwnd_);
}

// ---- Meter and record button ----

void MainWindow::PaintMeter(HDC dc) {
  const RECT& r = meterRect_;
  if (r.right <= r.left || r.bottom <= r.top) return;
  FillColor(dc, r, Rgb(meter_colors::kTrack));
  const MeterReading m = controller_->Meter();
  using namespace meter_colors;
  const int clipW = Px(10);
  const int gap = std::max(1, Px(2));
  const int barsRight = r.right - clipW - gap;
  const int channels = std::clamp(m.channels, 0, 2);
  const int lanes = std::max(1, channels);
  const int laneH = (r.bottom - r.top - gap * (lanes + 1)) / lanes;
  for (int c = 0; c < lanes; ++c) {
    const int top = r.top + gap + c * (laneH + gap);
    const RECT lane{r.left + gap, top, barsRight, top + laneH};
    const int width = lane.right - lane.left;
    const bool clip = c < channels && m.clip[c];
    FillColor(dc, {barsRight + gap, top, r.right - gap, top + laneH}, Rgb(clip ? kClip : kClipOff));
    if (c >= channels) continue;
    const int peak = int(width * MeterShare(m.peak[c]));
    const int rms = int(width * MeterShare(m.rms[c]));
    const int hold = int(width * MeterShare(m.peakHold[c]));
    FillColor(dc, {lane.left, lane.top, lane.left + peak, lane.bottom}, Rgb(kPeak));
    FillColor(dc, {lane.left, lane.top, lane.left + std::min(rms, peak > 0 ? peak : rms), lane.bottom},
              Rgb(kRms));
    if (hold > 0) {
      const int x = lane.left + std::min(hold, width - 1);
      FillColor(dc, {x, lane.top, x + std::max(1, Px(2)), lane.bottom}, Rgb(kHold));
    }
  }
}

void MainWindow::DrawRecordButton(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  FillColor(dc, r, GetSysColor(COLOR_BTNFACE));
  const bool disabled = item.itemState & ODS_DISABLED;
  const bool pressed = item.itemState & ODS_SELECTED;
  ControlState look = recordLook_;
  look.enabled = !disabled;
  COLORREF fill = Rgb(RecordButtonColor(look));
  if (pressed) fill = RGB(GetRValue(fill) * 4 / 5, GetGValue(fill) * 4 / 5, GetBValue(fill) * 4 / 5);
  GdiObject<HBRUSH> brush(CreateSolidBrush(fill));
  {
    Selected b(dc, brush);
    Selected p(dc, GetStockObject(NULL_PEN));
    const int radius = Px(8);
    RoundRect(dc, r.left, r.top, r.right + 1, r.bottom + 1, radius, radius);
  }
  const std::wstring text = WindowTextOf(item.hwndItem);
  Selected f(dc, recordFont_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  if (pressed) OffsetRect(&r, 0, 1);
  DrawTextW(dc, text.c_str(), int(text.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
    RECT focus = item.rcItem;
    InflateRect(&focus, -Px(3), -Px(3));
    SetTextColor(dc, RGB(255, 255, 255));
    DrawFocusRect(dc, &focus);
  }
}

// ---- Layout dump ----

LayoutSnapshot MainWindow::Snapshot() const {
  LayoutSnapshot snap;
  snap.dpi = dpi_;
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  const int top = CaptionPx();
  snap.client = {rc.right - rc.left, std::max(0L, rc.bottom - rc.top - top)};
  std::map<HWND, std::string> keyOf;
  for (const auto& [key, h] : keyed_) keyOf[h] = key;
  std::vector<HWND> children;
  EnumChildWindows(
      hwnd_,
      [](HWND child, LPARAM lp) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(lp)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  for (HWND c : children) {
    if (GetParent(c) != hwnd_) continue;  // grandchildren belong to their controls
    LayoutSnapshot::Child child;
    child.hwnd = c;
    if (const auto k = keyOf.find(c); k != keyOf.end()) child.key = k->second;
    GetWindowRect(c, &child.rect);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&child.rect), 2);
    OffsetRect(&child.rect, 0, -top);
    snap.children.push_back(child);
  }
  snap.meter = meterRect_;
  OffsetRect(&snap.meter, 0, -top);
  return snap;
}

// ---- Window procedure ----

// The frame: the painted caption band, its buttons and hover, sizes.
bool MainWindow::OnFrameMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_NCCALCSIZE:
      if (wp) {
        // Keep the sizing frame at the sides and bottom; the caption becomes
        // client area, painted by the program.
        auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lp);
        const RECT original = params->rgrc[0];
        DefWindowProcW(hwnd_, msg, wp, lp);
        const int inset = params->rgrc[0].left - original.left;
        // A maximised window hangs its frame off the monitor; keep its top on screen.
        params->rgrc[0].top = original.top + (IsZoomed(hwnd_) ? inset : 0);
        return Handled(result, 0);
      }
      return false;
    case WM_NCHITTEST:
      return Handled(result, HitTest(lp));
    case WM_NCMOUSEMOVE:
      SetHover(int(wp));
      if (!trackingLeave_) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE | TME_NONCLIENT, hwnd_, 0};
        trackingLeave_ = TrackMouseEvent(&tme);
      }
      if (wp == HTCLOSE || wp == HTMAXBUTTON || wp == HTMINBUTTON) return Handled(result, 0);
      return false;
    case WM_NCMOUSELEAVE:
      trackingLeave_ = false;
      pressedHit_ = HTNOWHERE;
      SetHover(HTNOWHERE);
      return Handled(result, 0);
    case WM_MOUSEMOVE:
      if (hoverHit_ != HTNOWHERE) SetHover(HTNOWHERE);
      return false;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
      if (wp == HTCLOSE || wp == HTMAXBUTTON || wp == HTMINBUTTON) {
        pressedHit_ = int(wp);
        SetHover(int(wp));
        InvalidateRect(hwnd_, nullptr, FALSE);
        return Handled(result, 0);  // the system would draw its own buttons
      }
      return false;
    case WM_NCLBUTTONUP:
      if (wp == HTCLOSE || wp == HTMAXBUTTON || wp == HTMINBUTTON) {
        const int pressed = pressedHit_;
        pressedHit_ = HTNOWHERE;
        if (pressed == int(wp)) {
          const WPARAM command = wp == HTCLOSE      ? SC_CLOSE
                                 : wp == HTMINBUTTON ? SC_MINIMIZE
                                 : IsZoomed(hwnd_)   ? SC_RESTORE
                                                     : SC_MAXIMIZE;
          SendMessageW(hwnd_, WM_SYSCOMMAND, command, lp);
        }
        return Handled(result, 0);
      }
      return false;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lp);
      const int inset = frameExtra_.cx / 2;
      const TrackSize minimum = MinimumTrackSize(dpi_, frameExtra_.cx, frameExtra_.cy);
      info->ptMinTrackSize = {minimum.width, minimum.height};
      MONITORINFO mi{};
      mi.cbSize = sizeof mi;
      if (GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi)) {
        // Maximised, the client (frame hung off the screen) covers the work area.
        info->ptMaxPosition = {mi.rcWork.left - mi.rcMonitor.left - inset, mi.rcWork.top - mi.rcMonitor.top - inset};
        info->ptMaxSize = {mi.rcWork.right - mi.rcWork.left + 2 * inset, mi.rcWork.bottom - mi.rcWork.top + 2 * inset};
      }
      return Handled(result, 0);
    }
    case WM_SIZE:
      if (wp != SIZE_MINIMIZED && !controls_.empty()) ApplyLayout();
      return Handled(result, 0);
    default:
      return false;
  }
}

// Painting: the off-screen frame and meter, control colours, owner-drawn controls.
bool MainWindow::OnPaintMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_ERASEBKGND:
      return Handled(result, 1);  // WM_PAINT covers everything from an off-screen bitmap
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      RECT rc{};
      GetClientRect(hwnd_, &rc);
      if (rc.right > 0 && rc.bottom > 0) {
        HDC mem = CreateCompatibleDC(dc);
        GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, rc.right, rc.bottom));
        {
          Selected s(mem, bitmap);
          PaintFrame(mem, rc);
          PaintMeter(mem);
          BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                 ps.rcPaint.bottom - ps.rcPaint.top, mem, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
        }
        DeleteDC(mem);
      }
      EndPaint(hwnd_, &ps);
      return Handled(result, 0);
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      HWND control = reinterpret_cast<HWND>(lp);
      if (_wcsicmp(ClassOf(control).c_str(), L"Edit") == 0) {
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return Handled(result, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)));
      }
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      return Handled(result, reinterpret_cast<LRESULT>(background_.Get()));
    }
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (item->CtlType == ODT_COMBOBOX) {
        item->itemHeight = UINT(Px(kComboItemUnits));
        return Handled(result, TRUE);
      }
      return false;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->CtlType == ODT_BUTTON && int(item->CtlID) == kIdRecord) {
        DrawRecordButton(*item);
        return Handled(result, TRUE);
      }
      if (item->CtlType == ODT_COMBOBOX) {
        DrawComboItem(*item, Px(5));
        return Handled(result, TRUE);
      }
      return false;
    }
    default:
      return false;
  }
}

// Input and commands: controls, menus, the wheel, drops, the focus.
bool MainWindow::OnInputMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(wp, lp);
      return Handled(result, 0);
    case WM_SETCURSOR:
      // A status line with details shows that a click opens them.
      if (statusDetails_ && reinterpret_cast<HWND>(wp) == Keyed("status") && LOWORD(lp) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return Handled(result, TRUE);
      }
      return false;
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr->code == BCN_DROPDOWN && !InputBlocked() && IsWindowEnabled(hdr->hwndFrom)) {
        RECT r{};
        GetWindowRect(hdr->hwndFrom, &r);
        ShowMenu(controller_->SplitMenu(int(hdr->idFrom)), {r.left, r.bottom});
        return Handled(result, TRUE);
      }
      return false;
    }
    case WM_CONTEXTMENU: {
      if (InputBlocked()) return Handled(result, 0);
      if (lp == -1) {
        RECT wr{};
        GetWindowRect(hwnd_, &wr);
        ShowContextMenuAt({wr.left + Px(kMenuKeyInset), wr.top + Px(kMenuKeyInset)});
        return Handled(result, 0);
      }
      POINT pt = PointOf(lp);
      RECT wr{};
      GetWindowRect(hwnd_, &wr);
      // Right click on the caption band: the system menu.
      if (HitTestCaption(pt.x - wr.left, pt.y - wr.top, wr.right - wr.left, IsZoomed(hwnd_), dpi_) != CaptionHit::Default)
        return false;
      ShowContextMenuAt(pt);
      return Handled(result, 0);
    }
    case WM_MOUSEWHEEL:
      if (!InputBlocked() && wave_) wave_->RouteWheel(GET_WHEEL_DELTA_WPARAM(wp), PointOf(lp));
      return Handled(result, 0);
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wp));
      return Handled(result, 0);
    case WM_ACTIVATE:
      // Keyboard focus comes back to the control that had it; the first time
      // to the waveform view, whose keys are the editor's.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
      }
      return false;
    case WM_SETFOCUS: {
      HWND target = lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_) ? lastFocus_ : WaveHandle();
      if (target) SetFocus(target);
      return Handled(result, 0);
    }
    default:
      return false;
  }
}

// The tick, posted work, other processes and threads (WM_APP messages, WM_COPYDATA).
bool MainWindow::OnAppMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_COPYDATA: {
      // A second start's file ("Open with" while running). The sender waits
      // for the answer, so the question and the loading run after it returned.
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
      if (data == nullptr || data->dwData != kOpenFileCopyDataTag || data->cbData == 0 ||
          data->cbData % sizeof(wchar_t) != 0)
        return Handled(result, FALSE);
      const std::filesystem::path file(
          std::wstring(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t)));
      AppController* controller = controller_;
      controller->Port().PostToUi([controller, file] { controller->OpenHandedOver(file); });
      return Handled(result, TRUE);
    }
    case WM_TIMER:
      if (wp == kTickTimer) {
        if (!InputBlocked()) controller_->OnTick();
        return Handled(result, 0);
      }
      return false;
    case kMsgRevealRecording:
    case kMsgSoundSettings:
    case kMsgWebSite:
    case kMsgDonate:
    case kMsgOpenLogFolder:
    case kMsgExportDiagnostics: {
      if (InputBlocked()) return Handled(result, 0);
      const int command = msg == kMsgRevealRecording ? int(kIdOpenLocation)
                          : msg == kMsgSoundSettings ? int(kIdSoundSettings)
                          : msg == kMsgWebSite       ? int(kIdWebSite)
                          : msg == kMsgDonate        ? int(kIdDonate)
                          : msg == kMsgOpenLogFolder ? int(kMenuOpenLogFolder)
                                                     : int(kMenuExportDiagnostics);
      controller_->OnCommand(command);
      return Handled(result, 0);
    }
    case kMsgDevicesChanged:
      controller_->NotifyDevicesChanged();
      return Handled(result, 0);
    case kMsgRenderFinished:
      controller_->OnWake();
      return Handled(result, 0);
    default:
      return false;
  }
}

// Closing and the end of the window.
bool MainWindow::OnLifetimeMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  switch (msg) {
    case WM_CLOSE:
      OnClose();
      return Handled(result, 0);
    case WM_ENDSESSION:
      if (wp && !closing_) {
        closing_ = true;
        controller_->Shutdown(CurrentPlacement());
      }
      return Handled(result, 0);
    case WM_DESTROY:
      KillTimer(hwnd_, kTickTimer);
      DragAcceptFiles(hwnd_, FALSE);
      progress_.reset();
      tooltips_.reset();
      if (options_.quitOnDestroy) PostQuitMessage(0);
      return Handled(result, 0);
    case WM_NCDESTROY:
      wakeTarget_ = nullptr;
      hwnd_ = nullptr;
      return Handled(result, 0);

    default:
      return false;
  }
}

// Each family of messages has its handler; false: the default handling.
LRESULT MainWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (OnFrameMessage(msg, wp, lp, result) || OnPaintMessage(msg, wp, lp, result) ||
      OnInputMessage(msg, wp, lp, result) || OnAppMessage(msg, wp, lp, result) ||
      OnLifetimeMessage(msg, wp, lp, result))
    return result;
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT MainWindow::OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) hwnd_ = hwnd;
  const LRESULT result = OnMessage(msg, wp, lp);
  return msg == WM_NCDESTROY ? DefWindowProcW(hwnd, msg, wp, lp) : result;
}

}  // namespace vesk::ui::win
