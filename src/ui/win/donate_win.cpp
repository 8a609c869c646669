// The donation window: the PNG stored as resource 300, decoded with GDI+.
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
// GDI+ expects min/max, which NOMINMAX takes away.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <memory>
#include <string>

#include "platform/win/com_ref.h"
#include "ui/win/dialogs_win.h"

namespace vesk::ui::win {
namespace {

constexpr int kImageResource = 300;
constexpr int kMargin = 16;

struct DonateState {
  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  unsigned dpi = 96;
  GdiObject<HBITMAP> image;
  SIZE imageSize{};
  std::wstring failure;  // shown instead of the image
};

// GDI+ for the length of one decode.
class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool Ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

void Decode(DonateState& state) {
  const HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kImageResource), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(module, found) : 0;
  if (bytes == nullptr || size == 0) {
    state.failure = L"收款码资源读取失败。";
    return;
  }
  GdiplusSession gdiplus;
  if (!gdiplus.Ok()) {
    state.failure = L"收款码解码初始化失败。";
    return;
  }
  ComRef<IStream> stream;
  *stream.Put() = SHCreateMemStream(static_cast<const BYTE*>(bytes), size);
  HBITMAP bitmap = nullptr;
  if (stream) {
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream.Get()));
    if (decoded && decoded->GetLastStatus() == Gdiplus::Ok &&
        decoded->GetHBITMAP(Gdiplus::Color(255, 255, 255), &bitmap) == Gdiplus::Ok) {
      state.imageSize = {LONG(decoded->GetWidth()), LONG(decoded->GetHeight())};
    }
  }
  if (bitmap == nullptr) {
    state.failure = L"收款码图片解码失败。";
    return;
  }
  state.image.Reset(bitmap);
}

void Paint(HWND hwnd, const DonateState& state) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT rc;
  GetClientRect(hwnd, &rc);
  FillColor(dc, rc, RGB(255, 255, 255));
  const int margin = ScaleUnits(kMargin, state.dpi);
  if (state.image) {
    HDC mem = CreateCompatibleDC(dc);
    {
      Selected s(mem, state.image);
      SetStretchBltMode(dc, HALFTONE);
      StretchBlt(dc, margin, margin, rc.right - 2 * margin, rc.bottom - 2 * margin, mem, 0, 0, state.imageSize.cx,
                 state.imageSize.cy, SRCCOPY);
    }
    DeleteDC(mem);
  } else {
    GdiObject<HFONT> font(MakeFont(ScaleUnits(14, state.dpi)));
    Selected f(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0xB0, 0x30, 0x30));
    DrawTextW(dc, state.failure.c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT DonateState::OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      Paint(hwnd, *this);
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_ESCAPE) {
        DestroyWindow(hwnd);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      delete this;  // the window owns its state
      return DefWindowProcW(hwnd, msg, wp, lp);
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

WNDPROC DonateProc() { return &ClassProc<DonateState>; }

void ShowDonateWindow(HWND owner, unsigned dpi) {
  if (HWND open = FindWindowW(kDonateClass, nullptr)) {
    if (IsIconic(open)) ShowWindow(open, SW_RESTORE);
    SetForegroundWindow(open);
    return;
  }
  auto state = std::make_unique<DonateState>();
  state->dpi = dpi;
  Decode(*state);
  const int margin = ScaleUnits(kMargin, dpi);
  // The image is drawn at its size in 96-DPI units; a failure gets a text-sized window.
  const SIZE content = state->image ? SIZE{ScaleUnits(state->imageSize.cx, dpi), ScaleUnits(state->imageSize.cy, dpi)}
                                    : SIZE{ScaleUnits(320, dpi), ScaleUnits(80, dpi)};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, content.cx + 2 * margin, content.cy + 2 * margin};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  RECT ownerRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (owner) GetWindowRect(owner, &ownerRect);
  const int x = ownerRect.left + (ownerRect.right - ownerRect.left - w) / 2;
  const int y = ownerRect.top + (ownerRect.bottom - ownerRect.top - h) / 2;
  HWND hwnd = CreateWindowExW(0, kDonateClass, L"捐赠作者 · 支付宝收款码", style, x, y, w, h, owner, nullptr,
                              GetModuleHandleW(nullptr), state.get());
  if (!hwnd) return;
  state.release();  // the window owns it now (freed on WM_NCDESTROY)
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
}

}  // namespace vesk::ui::win
