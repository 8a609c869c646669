// The waveform view's mapping, scroll strip, gestures, wheel and view resets.
#include "ui/wave_view_model.h"

#include <gtest/gtest.h>

namespace vesk::ui {
namespace {

constexpr int kW = 1000;
constexpr int kH = 200;
constexpr uint64_t kHour = 48000ull * 3600;

MouseEvent Ev(MouseAction action, int x, int y = 50, MouseButton button = MouseButton::Left) {
  return MouseEvent{action, button, x, y};
}

TEST(WaveViewMapping, FrameUnderThePointerStaysInsideTheDocument) {
  WaveViewModel m;
  m.ShowWhole(10000);
  struct Case {
    int x;
    uint64_t frame;
  };
  for (const Case& c :
       {Case{-5, 0}, Case{0, 0}, Case{1, 10}, Case{250, 2500}, Case{999, 9990}, Case{1000, 10000}, Case{4000, 10000}})
    EXPECT_EQ(m.FrameAt(c.x, kW), c.frame) << c.x;
}

TEST(WaveViewWheel, ZoomKeepsThePointedFrameAndRespectsItsLimits) {
  struct Case {
    const char* what;
    uint64_t n;
    int steps;
    int x;
    uint64_t visible;
    uint64_t start;
  };
  const Case cases[] = {
      {"one step in at the left edge", 480000, 1, 0, 384000, 0},
      {"one step in at the middle", 480000, 1, 500, 384000, 48000},
      {"one step in at the right edge", 480000, 1, 1000, 384000, 96000},
      {"out from the whole clip changes nothing", 480000, -1, 700, 480000, 0},
      {"a 500-frame clip stays whole", 500, 3, 400, 500, 0},
      {"the floor is 1000 frames", 480000, 40, 0, 1000, 0},
      {"a pointer beyond the view counts as its edge", 480000, 1, 5000, 384000, 96000},
  };
  for (const Case& c : cases) {
    WaveViewModel m;
    m.ShowWhole(c.n);
    ASSERT_TRUE(m.Wheel(c.steps, c.x, kW)) << c.what;
    EXPECT_EQ(m.Visible(), c.visible) << c.what;
    EXPECT_EQ(m.Start(), c.start) << c.what;
    EXPECT_EQ(m.ZoomSpan(), c.visible) << c.what;
  }
  WaveViewModel empty;
  EXPECT_FALSE(empty.Wheel(1, 500, kW));
  EXPECT_EQ(empty.Visible(), 0u);
}

TEST(WaveViewWheel, InThenOutReturnsToTheSameView) {
  for (int x : {0, 1, 137, 333, 500, 731, 999, 1000}) {
    WaveViewModel m;
    m.ShowWhole(4'800'000);
    m.Wheel(3, 500, kW);  // somewhere inside, zoomed in
    const uint64_t s0 = m.Start(), v0 = m.Visible();
    const uint64_t under = m.FrameAt(x, kW);
    m.Wheel(1, x, kW);
    EXPECT_LE(std::max(m.FrameAt(x, kW), under) - std::min(m.FrameAt(x, kW), under), 1u) << x;
    m.Wheel(-1, x, kW);
    EXPECT_EQ(m.Visible(), v0) << x;
    EXPECT_EQ(m.Start(), s0) << x;
  }
}

TEST(WaveViewStrip, ThumbSizeJumpDragAndPan) {
  // An hour zoomed to one second: the thumb keeps its minimum width.
  WaveViewModel m;
  m.ShowWhole(kHour);
  m.Wheel(60, 500, kW);
  ASSERT_LT(m.Visible(), kHour);
  StripGeometry g = m.Strip(kW, kH);
  ASSERT_TRUE(g.shown);
  EXPECT_EQ(g.track.x, 2);
  EXPECT_EQ(g.track.w, kW - 4);
  EXPECT_EQ(g.track.y, kH - 12);
  EXPECT_EQ(g.thumb.w, 28);
  const uint64_t v = m.Visible();

  // Pressing beside the thumb jumps, then drags from there.
  const int room = g.track.w - g.thumb.w;
  const int jumpX = 2 + room / 4;
  GestureOutcome out = m.Mouse(Ev(MouseAction::Press, jumpX, kH - 5), kW, kH, false);
  EXPECT_TRUE(out.viewMoved);
  EXPECT_FALSE(out.playHeadMoved);
  const double f = double(jumpX - 2) / room;
  EXPECT_EQ(m.Start(), uint64_t(f * double(kHour - v)) - v / 2);
  EXPECT_EQ(m.Press(), PressState::ThumbDrag);
  const uint64_t pressS = m.Start();
  m.Mouse(Ev(MouseAction::Move, jumpX + 100, 0), kW, kH, false);  // the drag follows x only
  EXPECT_EQ(m.Start(), pressS + uint64_t(100 * int64_t(kHour - v) / room));
  m.Mouse(Ev(MouseAction::Move, -5000, 0), kW, kH, false);
  EXPECT_EQ(m.Start(), 0u);
  m.Mouse(Ev(MouseAction::Release, -5000, 0), kW, kH, false);
  EXPECT_EQ(m.Press(), PressState::Idle);
  g = m.Strip(kW, kH);
  EXPECT_EQ(g.thumb.x, 2);

  // Right-button pan: dragging left shows later frames, never before 0.
  m.Mouse(Ev(MouseAction::Press, 600, 50, MouseButton::Right), kW, kH, false);
  EXPECT_EQ(m.Press(), PressState::PanDrag);
  m.Mouse(Ev(MouseAction::Move, 100, 50), kW, kH, false);
  EXPECT_EQ(m.Start(), 500 * v / kW);
  m.Mouse(Ev(MouseAction::Move, 800, 50), kW, kH, false);
  EXPECT_EQ(m.Start(), 0u);
  m.Mouse(Ev(MouseAction::Release, 800, 50, MouseButton::Right), kW, kH, false);
  EXPECT_EQ(m.Press(), PressState::Idle);

  // Not zoomed: no strip, no pan.
  WaveViewModel whole;
  whole.ShowWhole(kHour);
  EXPECT_FALSE(whole.Strip(kW, kH).shown);
  EXPECT_FALSE(whole.OnStrip(kH - 1, kH));
  whole.Mouse(Ev(MouseAction::Press, 500, 50, MouseButton::Right), kW, kH, false);
  EXPECT_EQ(whole.Press(), PressState::Idle);
}

TEST(WaveViewGestures, ClickSelectAndDoubleClick) {
  WaveViewModel m;
  m.ShowWhole(100000);

  // A 2-unit drag is a click: the play head follows, nothing is selected.
  GestureOutcome out = m.Mouse(Ev(MouseAction::Press, 100), kW, kH, false);
  EXPECT_TRUE(out.selectionChanged);  // the press clears the selection
  EXPECT_EQ(out.selEnd, 0u);
  EXPECT_EQ(m.PlayHead(), 10000u);
  out = m.Mouse(Ev(MouseAction::Move, 102), kW, kH, false);
  EXPECT_FALSE(out.selectionChanged);
  EXPECT_EQ(m.PlayHead(), 10200u);
  EXPECT_EQ(m.Press(), PressState::PendingClick);
  out = m.Mouse(Ev(MouseAction::Release, 102), kW, kH, false);
  EXPECT_FALSE(out.selectionChanged);
  EXPECT_TRUE(out.released);

  // Beyond 4 units the drag selects from the press frame, either way round.
  m.Mouse(Ev(MouseAction::Press, 300), kW, kH, false);
  out = m.Mouse(Ev(MouseAction::Move, 305), kW, kH, false);
  EXPECT_EQ(m.Press(), PressState::Selecting);
  EXPECT_EQ(out.selStart, 30000u);
  EXPECT_EQ(out.selEnd, 30500u);
  out = m.Mouse(Ev(MouseAction::Move, 120), kW, kH, false);
  EXPECT_EQ(out.selStart, 12000u);
  EXPECT_EQ(out.selEnd, 30000u);
  out = m.Mouse(Ev(MouseAction::Release, 120), kW, kH, false);
  EXPECT_FALSE(out.selectionChanged);  // wide enough to stay

  // Dragged out and back to under 3 units: a click after all.
  m.Mouse(Ev(MouseAction::Press, 300), kW, kH, false);
  m.Mouse(Ev(MouseAction::Move, 310), kW, kH, false);
  m.Mouse(Ev(MouseAction::Move, 302), kW, kH, false);
  out = m.Mouse(Ev(MouseAction::Release, 302), kW, kH, false);
  EXPECT_TRUE(out.selectionChanged);
  EXPECT_EQ(out.selStart, out.selEnd);

  // Double click selects all; its trailing release leaves the selection be.
  out = m.Mouse(Ev(MouseAction::DoubleClick, 500), kW, kH, false);
  EXPECT_TRUE(out.selectAll);
  out = m.Mouse(Ev(MouseAction::Release, 500), kW, kH, false);
  EXPECT_FALSE(out.selectionChanged);

  // While playing a press seeks and starts no drag.
  out = m.Mouse(Ev(MouseAction::Press, 700), kW, kH, true);
  EXPECT_TRUE(out.seek);
  EXPECT_EQ(out.seekFrame, 70000u);
  EXPECT_EQ(m.Press(), PressState::Idle);

  // An empty document ignores everything.
  WaveViewModel empty;
  EXPECT_FALSE(empty.Mouse(Ev(MouseAction::Press, 10), kW, kH, false).changed);
  EXPECT_FALSE(empty.Mouse(Ev(MouseAction::DoubleClick, 10), kW, kH, false).changed);
}

TEST(WaveViewReset, ZoomIsKeptWhileItFitsAndTheLiveSpanStaysInRange) {
  WaveViewModel m;
  m.ShowWhole(100000);
  m.Wheel(5, 1000, kW);  // zoomed in at the right end
  const uint64_t z = m.ZoomSpan();
  ASSERT_EQ(m.Start() + z, 100000u);
  m.KeepZoom(60000);  // shorter, the span still fits: start clamped
  EXPECT_EQ(m.ZoomSpan(), z);
  EXPECT_EQ(m.Start(), 60000 - z);
  m.KeepZoom(z - 1);  // the span no longer fits: whole clip
  EXPECT_EQ(m.Start(), 0u);
  EXPECT_EQ(m.Visible(), z - 1);
  EXPECT_FALSE(m.Zoomed());
  m.Wheel(2, 500, kW);
  m.ShowWhole(70000);
  EXPECT_EQ(m.Start(), 0u);
  EXPECT_EQ(m.ZoomSpan(), 70000u);
  m.KeepZoom(0);
  EXPECT_EQ(m.Start(), 0u);
  EXPECT_EQ(m.ZoomSpan(), 0u);

  EXPECT_EQ(m.LiveSpan(), kLiveSpanDefaultSeconds);
  m.WheelLiveSpan(-1);  // towards the user: longer
  EXPECT_DOUBLE_EQ(m.LiveSpan(), kLiveSpanDefaultSeconds * 1.25);
  m.WheelLiveSpan(50);
  EXPECT_EQ(m.LiveSpan(), 5.0);
  m.WheelLiveSpan(-50);
  EXPECT_EQ(m.LiveSpan(), 300.0);
}

}  // namespace
}  // namespace vesk::ui
