#include "ui/win/wave_view_win.h"

#include <algorithm>
#include <map>
#include <memory>

#include "ui/app_controller.h"
#include "ui/edit_area.h"
#include "ui/input_events.h"

namespace vesk::ui::win {
namespace {

using namespace wave_colors;

struct Fonts {
  GdiObject<HFONT> text, small, watermark;
};

const Fonts& FontsFor(unsigned dpi) {
  static std::map<unsigned, std::unique_ptr<Fonts>> cache;
  auto& slot = cache[dpi];
  if (!slot) {
    slot = std::make_unique<Fonts>();
    slot->text.Reset(MakeFont(ScaleUnits(13, dpi)));
    slot->small.Reset(MakeFont(ScaleUnits(11, dpi)));
    slot->watermark.Reset(MakeFont(ScaleUnits(72, dpi), FW_BOLD));
  }
  return *slot;
}

class Painter {
 public:
  Painter(HDC dc, unsigned dpi) : dc_(dc), dpi_(dpi) {}
  int Px(int units) const { return ScaleUnits(units, dpi_); }
  RECT Rect(int x, int y, int w, int h) const { return {Px(x), Px(y), Px(x + w), Px(y + h)}; }
  void Fill(const RECT& r, uint32_t color) const { FillColor(dc_, r, Rgb(color)); }
  void Text(const std::wstring& text, RECT r, UINT format, uint32_t color, HFONT font) const {
    Selected f(dc_, font);
    SetTextColor(dc_, Rgb(color));
    SetBkMode(dc_, TRANSPARENT);
    DrawTextW(dc_, text.c_str(), int(text.size()), &r, format | DT_NOPREFIX);
  }
  // `color` over what is painted, `alpha` of 255.
  void Blend(const RECT& r, uint32_t color, BYTE alpha) const {
    if (r.right <= r.left || r.bottom <= r.top) return;
    HDC src = CreateCompatibleDC(dc_);
    GdiObject<HBITMAP> pixel(CreateCompatibleBitmap(dc_, 1, 1));
    {
      Selected s(src, pixel);
      SetPixel(src, 0, 0, Rgb(color));
      const BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, 0};
      AlphaBlend(dc_, r.left, r.top, r.right - r.left, r.bottom - r.top, src, 0, 0, 1, 1, blend);
    }
    DeleteDC(src);
  }
  HDC Dc() const { return dc_; }

 private:
  HDC dc_;
  unsigned dpi_;
};

void PaintEmpty(const Painter& p, SIZE size, const WaveScene& scene, const Fonts& fonts) {
  RECT all{0, 0, size.cx, size.cy};
  p.Text(Wide(scene.watermark), all, DT_CENTER | DT_VCENTER | DT_SINGLELINE, kWatermark, fonts.watermark);
  // The text block centred as a whole: measure, then place.
  const std::wstring text = Wide(scene.emptyText);
  RECT measure{p.Px(24), 0, size.cx - p.Px(24), 0};
  {
    Selected f(p.Dc(), fonts.text);
    DrawTextW(p.Dc(), text.c_str(), int(text.size()), &measure, DT_CENTER | DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX);
  }
  const int height = measure.bottom - measure.top;
  RECT place{p.Px(24), (size.cy - height) / 2, size.cx - p.Px(24), (size.cy + height) / 2 + 1};
  p.Text(text, place, DT_CENTER | DT_WORDBREAK, kEmptyText, fonts.text);
}

void PaintRuler(const Painter& p, const WaveScene& scene, const Fonts& fonts) {
  p.Fill(p.Rect(0, 0, scene.width, scene.rulerHeight), kRulerBackground);
  for (const RulerTick& tick : scene.ruler) {
    const int len = tick.major ? std::max(6, scene.rulerHeight / 2) : std::max(3, scene.rulerHeight / 4);
    p.Fill(p.Rect(tick.x, scene.rulerHeight - len, 1, len), kRulerTick);
    if (tick.major && !tick.label.empty()) {
      RECT r = p.Rect(tick.x + 3, 1, 80, scene.rulerHeight - 2);
      p.Text(Wide(tick.label), r, DT_LEFT | DT_TOP | DT_SINGLELINE, kRulerText, fonts.small);
    }
  }
}

// A vertical stroke from `lo` to `hi` ([-1, 1]) in column x of a lane.
void PaintColumn(const Painter& p, const EnvelopeLane& lane, int x, float lo, float hi, COLORREF color) {
  const int topPx = p.Px(lane.top), bottomPx = p.Px(lane.top + lane.height);
  const double halfPx = (bottomPx - topPx) / 2.0;
  const double centerPx = topPx + halfPx;
  lo = std::clamp(lo, -1.0f, 1.0f);
  hi = std::clamp(hi, -1.0f, 1.0f);
  int y0 = int(centerPx - hi * halfPx);
  int y1 = int(centerPx - lo * halfPx) + 1;
  y0 = std::clamp(y0, topPx, bottomPx - 1);
  y1 = std::clamp(y1, y0 + 1, bottomPx);
  const RECT r{p.Px(x), y0, p.Px(x + 1), y1};
  FillColor(p.Dc(), r, color);
}

void PaintLane(const Painter& p, const EnvelopeLane& lane, int width) {
  p.Fill(p.Rect(0, lane.top, width, lane.height), kLaneBackground);
  p.Fill(p.Rect(0, lane.top + lane.height / 2, width, 1), kCenterLine);
  const size_t n = std::min(lane.mins.size(), lane.maxs.size());
  const COLORREF color = Rgb(kEnvelope);
  for (size_t x = 0; x < n; ++x) PaintColumn(p, lane, int(x), lane.mins[x], lane.maxs[x], color);
}

}  // namespace

void PaintWaveScene(HDC dc, SIZE size, const WaveScene& scene, unsigned dpi) {
  const Painter p(dc, dpi);
  const Fonts& fonts = FontsFor(dpi);
  p.Fill({0, 0, size.cx, size.cy}, kBackground);
  if (scene.empty && !scene.live) {
    PaintEmpty(p, size, scene, fonts);
    return;
  }
  if (scene.rulerHeight > 0) PaintRuler(p, scene, fonts);
  for (const EnvelopeLane& lane : scene.lanes) PaintLane(p, lane, scene.width);
  if (scene.live) {
    const COLORREF color = Rgb(kLiveEnvelope);
    const size_t lanes = std::min<size_t>(scene.lanes.size(), 2);
    for (const LiveColumn& column : scene.liveColumns)
      for (size_t i = 0; i < lanes; ++i)
        PaintColumn(p, scene.lanes[i], column.x, column.mins[i], column.maxs[i], color);
  }
  const int lanesTop = scene.lanes.empty() ? scene.rulerHeight : scene.lanes.front().top;
  const int lanesBottom = scene.lanes.empty() ? scene.height : scene.lanes.back().top + scene.lanes.back().height;
  if (scene.hasSelection && scene.selectionRight > scene.selectionLeft) {
    p.Blend(p.Rect(scene.selectionLeft, lanesTop, scene.selectionRight - scene.selectionLeft, lanesBottom - lanesTop),
            kSelection, kSelectionAlpha);
  }
  if (scene.hasPlayHead) p.Fill(p.Rect(scene.playHeadX, lanesTop, 1, lanesBottom - lanesTop), kPlayHead);
  if (scene.hasScrollStrip) {
    const LayoutRect& t = scene.scrollTrack;
    const LayoutRect& th = scene.scrollThumb;
    p.Fill(p.Rect(t.x, t.y, t.w, t.h), kScrollTrack);
    p.Fill(p.Rect(th.x, th.y, th.w, th.h), kScrollThumb);
  }
  if (!scene.hint.empty()) {
    // On a dark plate, so the hint stays readable over a loud envelope.
    const std::wstring hint = Wide(scene.hint);
    RECT text{0, 0, 0, 0};
    {
      Selected f(dc, fonts.small);
      DrawTextW(dc, hint.c_str(), int(hint.size()), &text, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    }
    const int right = p.Px(scene.width - 8), top = p.Px(lanesTop + 6);
    const RECT plate{right - (text.right - text.left) - p.Px(12), top, right, top + (text.bottom - text.top) + p.Px(6)};
    p.Blend(plate, kBackground, 200);
    p.Text(hint, plate, DT_CENTER | DT_VCENTER | DT_SINGLELINE, kHintText, fonts.small);
  }
}

WaveView::WaveView(AppController& controller, unsigned dpi) : controller_(controller), dpi_(dpi) {}

WaveView::~WaveView() {
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

bool WaveView::Create(HWND parent, int id) {
  hwnd_ = CreateWindowExW(0, kWaveClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, 10, 10,
                          parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), this);
  return hwnd_ != nullptr;
}

SIZE WaveView::ClientUnits() const {
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  return {ToUnits(rc.right), ToUnits(rc.bottom)};
}

bool WaveView::RouteWheel(int delta, POINT screen) {
  if (!hwnd_ || blocked_) return false;
  RECT wr{};
  GetWindowRect(hwnd_, &wr);
  if (!PtInRect(&wr, screen)) return false;
  POINT pt = screen;
  ScreenToClient(hwnd_, &pt);
  wheelRemainder_ += delta;
  const int steps = wheelRemainder_ / WHEEL_DELTA;
  wheelRemainder_ -= steps * WHEEL_DELTA;
  if (steps != 0) {
    const SIZE units = ClientUnits();
    controller_.OnWheel(WheelEvent{steps, ToUnits(pt.x), ToUnits(pt.y)}, units.cx, units.cy);
  }
  return true;
}

bool WaveView::Mouse(int action, int button, LPARAM lp) {
  const POINT pt = PointOf(lp);
  lastPoint_ = {ToUnits(pt.x), ToUnits(pt.y)};
  const SIZE units = ClientUnits();
  MouseEvent e;
  e.action = static_cast<MouseAction>(action);
  e.button = static_cast<MouseButton>(button);
  e.x = lastPoint_.x;
  e.y = lastPoint_.y;
  return controller_.OnMouse(e, units.cx, units.cy);
}

void WaveView::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  const SIZE size{rc.right, rc.bottom};
  if (size.cx > 0 && size.cy > 0) {
    if (!buffer_ || bufferSize_.cx != size.cx || bufferSize_.cy != size.cy) {
      buffer_.Reset(CreateCompatibleBitmap(dc, size.cx, size.cy));
      bufferSize_ = size;
    }
    HDC mem = CreateCompatibleDC(dc);
    {
      Selected s(mem, buffer_);
      const WaveScene scene = controller_.Edit().Scene(ToUnits(size.cx), ToUnits(size.cy));
      PaintWaveScene(mem, size, scene, dpi_);
      BitBlt(dc, 0, 0, size.cx, size.cy, mem, 0, 0, SRCCOPY);
    }
    DeleteDC(mem);
  }
  EndPaint(hwnd_, &ps);
}

LRESULT WaveView::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  const bool mouse = msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST;
  if (blocked_ && mouse) return 0;
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;  // everything is painted from the off-screen bitmap
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_PRINTCLIENT: {
      RECT rc{};
      GetClientRect(hwnd_, &rc);
      const WaveScene scene = controller_.Edit().Scene(ToUnits(rc.right), ToUnits(rc.bottom));
      PaintWaveScene(reinterpret_cast<HDC>(wp), {rc.right, rc.bottom}, scene, dpi_);
      return 0;
    }
    case WM_SIZE:
      InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
      SetCapture(hwnd_);
      pressedButton_ = int(MouseButton::Left);
      Mouse(int(MouseAction::Press), int(MouseButton::Left), lp);
      return 0;
    case WM_RBUTTONDOWN:
      SetCapture(hwnd_);
      pressedButton_ = int(MouseButton::Right);
      Mouse(int(MouseAction::Press), int(MouseButton::Right), lp);
      return 0;
    case WM_MOUSEMOVE:
      Mouse(int(MouseAction::Move), (wp & MK_RBUTTON) && !(wp & MK_LBUTTON) ? int(MouseButton::Right)
                                                                             : int(MouseButton::Left),
            lp);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      const int button = msg == WM_LBUTTONUP ? int(MouseButton::Left) : int(MouseButton::Right);
      if (pressedButton_ == button) pressedButton_ = -1;
      const bool menu = Mouse(int(MouseAction::Release), button, lp);
      if (GetCapture() == hwnd_) ReleaseCapture();
      if (button == int(MouseButton::Left)) SetFocus(hwnd_);
      // The controller's rule: a right click that did not pan opens the
      // window's context menu (WM_CONTEXTMENU goes up to the main window).
      if (menu) return DefWindowProcW(hwnd_, msg, wp, lp);
      return 0;
    }
    case WM_LBUTTONDBLCLK:
      Mouse(int(MouseAction::DoubleClick), int(MouseButton::Left), lp);
      return 0;
    case WM_CAPTURECHANGED:
      // Capture taken away mid-gesture (a message box, a switch of window):
      // end the gesture where the pointer was last seen.
      if (pressedButton_ >= 0 && reinterpret_cast<HWND>(lp) != hwnd_) {
        const int button = pressedButton_;
        pressedButton_ = -1;
        const SIZE units = ClientUnits();
        controller_.OnMouse({MouseAction::Release, static_cast<MouseButton>(button), lastPoint_.x, lastPoint_.y},
                            units.cx, units.cy);
      }
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        POINT pt{};
        GetCursorPos(&pt);
        ScreenToClient(hwnd_, &pt);
        const SIZE units = ClientUnits();
        const PointerShape shape = controller_.Edit().PointerAt(ToUnits(pt.x), ToUnits(pt.y), units.cx, units.cy);
        const wchar_t* cursor = shape == PointerShape::Hand ? IDC_HAND : shape == PointerShape::IBeam ? IDC_IBEAM
                                                                                                       : IDC_ARROW;
        SetCursor(LoadCursorW(nullptr, cursor));
        return TRUE;
      }
      break;
    case WM_MOUSEWHEEL: {
      POINT screen = PointOf(lp);
      if (RouteWheel(GET_WHEEL_DELTA_WPARAM(wp), screen)) return 0;
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT WaveView::OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) hwnd_ = hwnd;
  if (msg == WM_NCDESTROY) {
    // Gone with its parent: the view object must not touch the handle again.
    hwnd_ = nullptr;
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  return OnMessage(msg, wp, lp);
}

}  // namespace vesk::ui::win
