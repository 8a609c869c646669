// The main window's own caption band: hit testing, hover and pressed
// caption buttons, the title, the glyphs and the shadow-like frame.
#include <windows.h>

#include <algorithm>

#include "core/version.h"
#include "ui/app_controller.h"
#include "ui/win/main_window_win.h"

namespace vesk::ui::win {
namespace {

constexpr uint32_t kTitleText = 0x1F1F1F;
constexpr uint32_t kCaptionLine = 0xD9D9D9;
constexpr uint32_t kButtonHover = 0xE1E1E1;
constexpr uint32_t kButtonPressed = 0xC8C8C8;
constexpr uint32_t kCloseHover = 0xE81123;
constexpr uint32_t kCloseDown = 0xB4101D;
constexpr uint32_t kGlyph = 0x333333;

}  // namespace

LRESULT MainWindow::HitTest(LPARAM lp) {
  const LRESULT standard = DefWindowProcW(hwnd_, WM_NCHITTEST, 0, lp);
  RECT wr{};
  GetWindowRect(hwnd_, &wr);
  const POINT pt = PointOf(lp);
  switch (HitTestCaption(pt.x - wr.left, pt.y - wr.top, wr.right - wr.left, IsZoomed(hwnd_), dpi_)) {
    case CaptionHit::Close: return HTCLOSE;
    case CaptionHit::Maximize: return HTMAXBUTTON;
    case CaptionHit::Minimize: return HTMINBUTTON;
    case CaptionHit::Caption: return HTCAPTION;
    case CaptionHit::Default: break;
  }
  return standard;
}

void MainWindow::SetHover(int hit) {
  if (hit != HTCLOSE && hit != HTMAXBUTTON && hit != HTMINBUTTON) hit = HTNOWHERE;
  if (hit == hoverHit_) return;
  hoverHit_ = hit;
  RECT band{};
  GetClientRect(hwnd_, &band);
  band.bottom = CaptionPx();
  InvalidateRect(hwnd_, &band, FALSE);
}

void MainWindow::PaintFrame(HDC dc, const RECT& client) {
  const COLORREF background = GetSysColor(COLOR_BTNFACE);
  FillColor(dc, client, background);
  const int caption = CaptionPx();
  RECT band{client.left, client.top, client.right, client.top + caption};
  FillColor(dc, {band.left, band.bottom - 1, band.right, band.bottom}, Rgb(kCaptionLine));

  // Title and icon.
  const int iconSize = Px(16);
  DrawIconEx(dc, Px(10), (caption - iconSize) / 2, AppIcon(iconSize), iconSize, iconSize, 0,
             nullptr, DI_NORMAL);
  {
    Selected f(dc, captionFont_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Rgb(kTitleText));
    RECT text{Px(34), 0, client.right - 3 * Px(kCaptionButtonWidth) - Px(8), caption};
    const std::wstring title = WindowTextOf(hwnd_);
    DrawTextW(dc, title.c_str(), int(title.size()), &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  }

  // The three buttons, placed where the hit-test finds them (window coordinates).
  RECT wr{};
  GetWindowRect(hwnd_, &wr);
  POINT origin{0, 0};
  ClientToScreen(hwnd_, &origin);
  const int windowRightInClient = wr.right - origin.x;
  const int bw = Px(kCaptionButtonWidth);
  const int hits[3] = {HTCLOSE, HTMAXBUTTON, HTMINBUTTON};
  for (int i = 0; i < 3; ++i) {
    RECT b{windowRightInClient - (i + 1) * bw, client.top, windowRightInClient - i * bw, client.top + caption - 1};
    const bool hover = hoverHit_ == hits[i];
    const bool down = hover && pressedHit_ == hits[i];
    if (hover) {
      const uint32_t color = hits[i] == HTCLOSE ? (down ? kCloseDown : kCloseHover) : (down ? kButtonPressed : kButtonHover);
      FillColor(dc, b, Rgb(color));
    }
    const COLORREF glyph = (hover && hits[i] == HTCLOSE) ? RGB(255, 255, 255) : Rgb(kGlyph);
    GdiObject<HPEN> pen(CreatePen(PS_SOLID, std::max(1, Px(1)), glyph));
    Selected p(dc, pen);
    Selected nb(dc, GetStockObject(NULL_BRUSH));
    const int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2, g = Px(5);
    if (hits[i] == HTCLOSE) {
      MoveToEx(dc, cx - g, cy - g, nullptr);
      LineTo(dc, cx + g + 1, cy + g + 1);
      MoveToEx(dc, cx + g, cy - g, nullptr);
      LineTo(dc, cx - g - 1, cy + g + 1);
    } else if (hits[i] == HTMAXBUTTON) {
      if (IsZoomed(hwnd_)) {
        const int s = Px(2);
        Rectangle(dc, cx - g, cy - g + s, cx + g + 1 - s, cy + g + 1);
        MoveToEx(dc, cx - g + s, cy - g + s, nullptr);
        LineTo(dc, cx - g + s, cy - g);
        LineTo(dc, cx + g, cy - g);
        LineTo(dc, cx + g, cy + g - s + 1);
        LineTo(dc, cx + g - s, cy + g - s + 1);
      } else {
        Rectangle(dc, cx - g, cy - g, cx + g + 1, cy + g + 1);
      }
    } else {
      MoveToEx(dc, cx - g, cy, nullptr);
      LineTo(dc, cx + g + 1, cy);
    }
  }

  // The shadow-like frame around a window that is not maximised.
  if (!IsZoomed(hwnd_)) {
    for (const ShadowRing& ring : ShadowRings(dpi_, uint32_t(GetRValue(background)) << 16 |
                                                       uint32_t(GetGValue(background)) << 8 | GetBValue(background))) {
      RECT r = client;
      InflateRect(&r, -ring.inset, -ring.inset);
      SetDCBrushColor(dc, Rgb(ring.color));
      FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
  }
}

}  // namespace vesk::ui::win
