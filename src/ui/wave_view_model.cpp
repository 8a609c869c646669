#include "ui/wave_view_model.h"

#include <algorithm>
#include <cmath>

namespace vesk::ui {

namespace {

// num / den rounded to the nearest integer (den > 0).
int64_t RoundedDiv(int64_t num, int64_t den) { return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den); }

}  // namespace

void WaveViewModel::ShowWhole(uint64_t frames) {
  n_ = frames;
  s_ = 0;
  z_ = frames;
  playHead_ = std::min(playHead_, n_);
}

void WaveViewModel::KeepZoom(uint64_t frames) {
  n_ = frames;
  if (z_ > 0 && z_ <= n_) {
    s_ = std::min(s_, n_ - z_);
  } else {
    z_ = n_;
    s_ = 0;
  }
  playHead_ = std::min(playHead_, n_);
}

uint64_t WaveViewModel::FrameAt(int x, int width) const {
  const uint64_t v = Visible();
  uint64_t f;
  if (x <= 0 || width <= 0)
    f = s_;
  else if (x >= width)
    f = s_ + v;
  else
    f = s_ + uint64_t(x) * v / uint64_t(width);
  return std::min(f, n_);
}

double WaveViewModel::XOf(uint64_t frame, int width) const {
  const uint64_t v = Visible();
  if (v == 0) return 0;
  return (double(frame) - double(s_)) * double(width) / double(v);
}

StripGeometry WaveViewModel::Strip(int width, int height) const {
  StripGeometry g;
  if (!Zoomed()) return g;
  const uint64_t v = Visible();
  const int t = std::max(width - 2 * kStripMargin, 0);
  const int thumb = int(std::min<uint64_t>(std::max<uint64_t>(uint64_t(t) * v / n_, kThumbMinWidth), uint64_t(t)));
  g.shown = true;
  g.track = {kStripMargin, height - kStripHeight, t, kStripHeight};
  g.thumb = {kStripMargin + int(uint64_t(t - thumb) * s_ / (n_ - v)), height - kStripHeight, thumb, kStripHeight};
  return g;
}

void WaveViewModel::ScrollTo(int64_t start) {
  const int64_t last = int64_t(n_ - Visible());
  s_ = uint64_t(std::clamp<int64_t>(start, 0, last));
}

GestureOutcome WaveViewModel::Mouse(const MouseEvent& event, int width, int height, bool playing) {
  GestureOutcome out;
  const bool left = event.button == MouseButton::Left;
  // A right click that did not start a pan (the whole clip in view, or no
  // clip) opens the context menu on its release.
  if (!left && event.action == MouseAction::Release) out.contextMenu = press_ != PressState::PanDrag;
  if (n_ == 0) return out;
  switch (event.action) {
    case MouseAction::Press:
      if (left) {
        PressLeft(event.x, event.y, width, height, playing, out);
      } else if (Zoomed()) {
        press_ = PressState::PanDrag;
        pressX_ = event.x;
        pressS_ = s_;
      }
      break;
    case MouseAction::DoubleClick:
      // Quick clicks on the strip keep scrolling; elsewhere they select all.
      if (left && OnStrip(event.y, height)) {
        PressLeft(event.x, event.y, width, height, playing, out);
      } else if (left) {
        press_ = PressState::Idle;
        out.selectAll = out.changed = true;
      }
      break;
    case MouseAction::Move:
      MoveTo(event.x, width, height, out);
      break;
    case MouseAction::Release:
      if (!left) {
        if (press_ == PressState::PanDrag) press_ = PressState::Idle;
        break;
      }
      if (press_ == PressState::PanDrag) break;  // the right button still pans
      if (press_ == PressState::Selecting &&
          std::abs(XOf(selEnd_, width) - XOf(selStart_, width)) < double(kClickWidth)) {
        out.selectionChanged = out.changed = true;
        out.selStart = out.selEnd = 0;
      }
      press_ = PressState::Idle;
      out.released = true;
      break;
  }
  return out;
}

void WaveViewModel::PressLeft(int x, int y, int width, int height, bool playing, GestureOutcome& out) {
  if (OnStrip(y, height)) {
    const StripGeometry g = Strip(width, height);
    if (x < g.thumb.x || x >= g.thumb.Right()) {
      // Beside the thumb: jump so that the pointer's share of the track
      // lands in the middle of the view, then drag from there.
      const uint64_t v = Visible();
      const int room = g.track.w - g.thumb.w;
      const double f = room > 0 ? std::clamp(double(x - kStripMargin) / double(room), 0.0, 1.0) : 0.0;
      ScrollTo(int64_t(std::trunc(f * double(n_ - v))) - int64_t(v / 2));
      out.viewMoved = out.changed = true;
    }
    press_ = PressState::ThumbDrag;
    pressX_ = x;
    pressS_ = s_;
    return;
  }
  const uint64_t frame = FrameAt(x, width);
  if (playing) {
    out.seek = out.changed = true;
    out.seekFrame = frame;
    return;
  }
  playHead_ = frame;
  anchor_ = frame;
  selStart_ = selEnd_ = 0;
  press_ = PressState::PendingClick;
  pressX_ = x;
  out.playHeadMoved = out.selectionChanged = out.changed = true;
}

void WaveViewModel::MoveTo(int x, int width, int height, GestureOutcome& out) {
  const uint64_t v = Visible();
  switch (press_) {
    case PressState::Idle:
      return;
    case PressState::ThumbDrag: {
      const StripGeometry g = Strip(width, height);
      const int room = g.track.w - g.thumb.w;
      if (!g.shown || room <= 0) return;
      const int64_t delta = int64_t(x - pressX_) * int64_t(n_ - v) / room;
      const uint64_t before = s_;
      ScrollTo(int64_t(pressS_) + delta);
      out.viewMoved = out.changed = s_ != before;
      return;
    }
    case PressState::PanDrag: {
      if (width <= 0) return;
      const uint64_t before = s_;
      ScrollTo(int64_t(pressS_) - int64_t(x - pressX_) * int64_t(v) / width);
      out.viewMoved = out.changed = s_ != before;
      return;
    }
    case PressState::PendingClick:
      if (std::abs(x - pressX_) <= kSelectSlop) {
        playHead_ = FrameAt(x, width);
        out.playHeadMoved = out.changed = true;
        return;
      }
      press_ = PressState::Selecting;
      [[fallthrough]];
    case PressState::Selecting: {
      const uint64_t f = FrameAt(x, width);
      selStart_ = std::min(anchor_, f);
      selEnd_ = std::max(anchor_, f);
      out.selectionChanged = out.changed = true;
      out.selStart = selStart_;
      out.selEnd = selEnd_;
      return;
    }
  }
}

bool WaveViewModel::Wheel(int steps, int x, int width) {
  if (n_ == 0 || width <= 0) return false;
  const int64_t px = std::clamp(x, 0, width);
  const uint64_t floor = std::min(n_, kZoomFloorFrames);
  for (int i = 0; i < std::abs(steps); ++i) {
    const uint64_t v = Visible();
    // ÷0.8 and ÷1.25 in whole frames, without the rounding error of the
    // decimal factors.
    uint64_t next = steps < 0 ? v * 5 / 4 : v * 4 / 5;
    next = std::max(std::min(next, n_), floor);
    // The frame under the pointer stays there. Rounded to the nearest frame
    // (not truncated) so that a step in and a step out at the same pointer
    // return to the same view start.
    int64_t start = int64_t(s_) + RoundedDiv(px * (int64_t(v) - int64_t(next)), width);
    start = std::max<int64_t>(start, 0);
    if (uint64_t(start) + next > n_) start = int64_t(n_ - next);
    s_ = uint64_t(start);
    z_ = next;
  }
  return true;
}

void WaveViewModel::WheelLiveSpan(int steps) {
  for (int i = 0; i < std::abs(steps); ++i) liveSpan_ *= steps < 0 ? 1.25 : 0.8;
  liveSpan_ = std::clamp(liveSpan_, kLiveSpanMinSeconds, kLiveSpanMaxSeconds);
}

}  // namespace vesk::ui
