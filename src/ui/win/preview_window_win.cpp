#include "ui/win/preview_window_win.h"

#include <algorithm>

#include "ui/win/win_common.h"

namespace vesk::ui::win {
namespace {

constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
// A first preview: a 480 × 270 picture area beside the main window.
constexpr int kFirstWidth = 480;
constexpr int kFirstHeight = 270;
constexpr int kGap = 12;
constexpr int kMinWidth = 160;
constexpr int kMinHeight = 90;

bool RegisterPreviewClass(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(instance, kPreviewClass, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;  // painted whole, no erase flicker
  wc.lpszClassName = kPreviewClass;
  wc.hIcon = AppIcon(GetSystemMetrics(SM_CXICON));
  return RegisterClassExW(&wc) != 0;
}

}  // namespace

PreviewWindow::PreviewWindow(HWND owner) : owner_(owner) {}

PreviewWindow::~PreviewWindow() {
  events_ = {};
  if (hwnd_) DestroyWindow(hwnd_);
}

unsigned PreviewWindow::Dpi() const {
  const HWND of = hwnd_ ? hwnd_ : owner_;
  const UINT dpi = of ? GetDpiForWindow(of) : 0;
  return dpi ? dpi : 96;
}

bool PreviewWindow::EnsureWindow() {
  if (hwnd_) return true;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterPreviewClass(instance, &ClassProc<PreviewWindow>)) return false;
  CreateWindowExW(0, kPreviewClass, L"视频预览", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                  owner_, nullptr, instance, this);
  return hwnd_ != nullptr;
}

void PreviewWindow::Show(const std::optional<WindowRect>& frame, PreviewEvents events) {
  events_ = {};  // placing the window is no move by the user
  if (!EnsureWindow()) return;
  RECT r;
  if (frame) {
    r = {frame->left, frame->top, frame->right, frame->bottom};
  } else {
    const int dpi = int(Dpi());
    r = {0, 0, MulDiv(kFirstWidth, dpi, 96), MulDiv(kFirstHeight, dpi, 96)};
    AdjustWindowRectEx(&r, kStyle, FALSE, 0);
    OffsetRect(&r, -r.left, -r.top);
    RECT main{};
    if (owner_ && GetWindowRect(owner_, &main)) {
      const int screen = GetSystemMetrics(SM_CXSCREEN);
      const int width = int(r.right);
      int x = int(main.right) + MulDiv(kGap, dpi, 96);
      if (x + width > screen) x = std::max(0, screen - width);
      OffsetRect(&r, x, std::max(0, int(main.top)));
    }
  }
  SetWindowPos(hwnd_, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_SHOWWINDOW);
  InvalidateRect(hwnd_, nullptr, FALSE);
  events_ = std::move(events);
}

void PreviewWindow::Hide() {
  events_ = {};
  picture_.reset();
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

bool PreviewWindow::Shown() const { return hwnd_ && IsWindowVisible(hwnd_); }

void PreviewWindow::ShowPicture(std::shared_ptr<const PreviewPicture> picture) {
  if (picture == nullptr || picture->pixels != PreviewPixels::Bgrx32 || picture->width < 1 || picture->height < 1)
    return;
  picture_ = std::move(picture);
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

WindowRect PreviewWindow::Frame() const {
  RECT r{};
  if (hwnd_) GetWindowRect(hwnd_, &r);
  return {int(r.left), int(r.top), int(r.right), int(r.bottom)};
}

PreviewSize PreviewWindow::ClientSize() const {
  RECT r{};
  if (hwnd_) GetClientRect(hwnd_, &r);
  return {int(r.right), int(r.bottom)};
}

ScreenMetrics PreviewWindow::Screen() const { return CurrentScreenMetrics(Dpi()); }

RECT PreviewWindow::PictureRect() const {
  if (!picture_) return {};
  const PreviewSize box = ClientSize();
  const PreviewSize fit = FitPreviewSize(picture_->width, picture_->height, box.width, box.height);
  const int x = (box.width - fit.width) / 2, y = (box.height - fit.height) / 2;
  return {x, y, x + fit.width, y + fit.height};
}

void PreviewWindow::Paint(HDC dc) {
  RECT client;
  GetClientRect(hwnd_, &client);
  const RECT pic = PictureRect();
  if (IsRectEmpty(&pic)) {
    FillColor(dc, client, RGB(0, 0, 0));
    return;
  }
  // The bars only: the picture covers the rest.
  const int saved = SaveDC(dc);
  ExcludeClipRect(dc, pic.left, pic.top, pic.right, pic.bottom);
  FillColor(dc, client, RGB(0, 0, 0));
  RestoreDC(dc, saved);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
  bmi.bmiHeader.biWidth = picture_->width;
  bmi.bmiHeader.biHeight = -picture_->height;  // top-down rows
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchDIBits(dc, pic.left, pic.top, pic.right - pic.left, pic.bottom - pic.top, 0, 0, picture_->width,
                picture_->height, picture_->data.data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
}

LRESULT PreviewWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      Paint(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wp));
      return 0;
    case WM_MOVE:
    case WM_SIZE:
      if (events_.moved) events_.moved();
      if (msg == WM_SIZE) InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_GETMINMAXINFO: {
      const int dpi = int(Dpi());
      RECT r{0, 0, MulDiv(kMinWidth, dpi, 96), MulDiv(kMinHeight, dpi, 96)};
      AdjustWindowRectEx(&r, kStyle, FALSE, 0);
      auto* info = reinterpret_cast<MINMAXINFO*>(lp);
      info->ptMinTrackSize = {r.right - r.left, r.bottom - r.top};
      return 0;
    }
    case WM_CLOSE: {
      // The window stays for the next preview; the controller hides it.
      // Its handler drops events_, so a copy is called.
      const PreviewEvents events = events_;
      if (events.closedByUser)
        events.closedByUser();
      else
        ShowWindow(hwnd_, SW_HIDE);
      return 0;
    }
    case WM_NCDESTROY:
      hwnd_ = nullptr;
      events_ = {};
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT PreviewWindow::OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) hwnd_ = hwnd;
  const LRESULT result = OnMessage(msg, wp, lp);
  return msg == WM_NCDESTROY ? DefWindowProcW(hwnd, msg, wp, lp) : result;
}

}  // namespace vesk::ui::win
