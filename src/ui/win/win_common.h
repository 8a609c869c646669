#pragma once
// Small pieces the Win32 views share: GDI owners, the font, colours and the
// window-class names. Windows only.
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win/wide.h"
#include "ui/window_geometry.h"

namespace vesk::ui::win {

inline constexpr wchar_t kMainClass[] = L"VESKRecorderMain";
inline constexpr wchar_t kWaveClass[] = L"VESKWaveView";
inline constexpr wchar_t kProgressClass[] = L"VESKProgressWnd";
inline constexpr wchar_t kDonateClass[] = L"VESKDonateView";
inline constexpr wchar_t kTrackDialogClass[] = L"VESKTrackDialog";
inline constexpr wchar_t kDetailsBoxClass[] = L"VESKDetailsBox";
inline constexpr wchar_t kNumberDialogClass[] = L"VESKNumberDialog";
inline constexpr wchar_t kFontFace[] = L"Microsoft YaHei UI";
// The program's icon group in the window resources (src/app/win).
inline constexpr int kAppIconResource = 1;

// The program's icon at `size` pixels (shared, never destroyed); the
// system's default icon when the module carries none.
inline HICON AppIcon(int size) {
  HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconResource), IMAGE_ICON, size, size,
                           LR_SHARED);
  return icon ? static_cast<HICON>(icon) : LoadIconW(nullptr, IDI_APPLICATION);
}

// Owner of one GDI object (font, brush, pen, bitmap).
template <class H>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(H h) : h_(h) {}
  ~GdiObject() { Reset(); }
  GdiObject(GdiObject&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
  GdiObject& operator=(GdiObject&& o) noexcept {
    if (this != &o) {
      Reset(o.h_);
      o.h_ = nullptr;
    }
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  void Reset(H h = nullptr) {
    if (h_) DeleteObject(h_);
    h_ = h;
  }
  H Get() const { return h_; }
  operator H() const { return h_; }

 private:
  H h_ = nullptr;
};

// Selects an object into a DC for the scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  ~Selected() { SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// "Microsoft YaHei UI" at `pixelHeight` character height.
inline HFONT MakeFont(int pixelHeight, int weight = FW_NORMAL) {
  return CreateFontW(-pixelHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, kFontFace);
}

inline COLORREF Rgb(uint32_t rrggbb) {
  return RGB((rrggbb >> 16) & 0xFF, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF);
}

inline void FillColor(HDC dc, const RECT& r, COLORREF color) {
  SetDCBrushColor(dc, color);
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

inline std::wstring Wide(std::string_view utf8) { return Utf8ToWide(utf8); }

inline std::wstring WindowTextOf(HWND hwnd) {
  const int len = GetWindowTextLengthW(hwnd);
  std::wstring text(size_t(len) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), len + 1);
  text.resize(size_t(got > 0 ? got : 0));
  return text;
}

inline std::wstring ClassOf(HWND hwnd) {
  wchar_t cls[128] = {};
  GetClassNameW(hwnd, cls, 128);
  return cls;
}

// The pointer position of a mouse message's lParam.
inline POINT PointOf(LPARAM lp) {
  return {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}

// The window procedure of this program's window classes: the object handed
// to CreateWindowExW (lpParam) receives every message from WM_NCCREATE up to
// and including WM_NCDESTROY in `LRESULT T::OnWindowMessage(HWND, UINT,
// WPARAM, LPARAM)`; messages before it get the default handling.
template <typename T>
LRESULT CALLBACK ClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return self->OnWindowMessage(hwnd, msg, wp, lp);
}

}  // namespace vesk::ui::win
