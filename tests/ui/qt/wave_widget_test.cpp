// The waveform widget paints a given scene and forwards gestures in view
// units; no edit area behind it.
#include <gtest/gtest.h>

#include <QTest>
#include <QWheelEvent>

#include "support/qt/qt_rig.h"
#include "ui/qt/wave_widget.h"

namespace vesk::ui::qt {
namespace {

QRgb Rgb(unsigned c) { return qRgb((c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff); }

// 400 × 200: a quiet left half and a loud right half in one lane under a
// 20-unit ruler, a selection over the quiet half, the play head in the loud
// half and a scroll strip along the bottom.
WaveScene Scene() {
  WaveScene s;
  s.width = 400;
  s.height = 200;
  s.empty = false;
  s.rulerHeight = 20;
  s.ruler = {{0, true, "0:00"}, {100, true, "0:05"}, {50, false, ""}};
  EnvelopeLane lane;
  lane.top = 20;
  lane.height = 160;
  for (int x = 0; x < 400; ++x) {
    const float a = x < 200 ? 0.02f : 0.9f;
    lane.mins.push_back(-a);
    lane.maxs.push_back(a);
  }
  s.lanes = {lane};
  s.hasSelection = true;
  s.selectionLeft = 50;
  s.selectionRight = 150;
  s.hasPlayHead = true;
  s.playHeadX = 300;
  s.hasScrollStrip = true;
  s.scrollTrack = {2, 188, 396, 12};
  s.scrollThumb = {100, 188, 60, 12};
  s.hint = "滚轮缩放 · 右键拖动平移";
  return s;
}

TEST(QtWaveWidget, PaintsEnvelopeSelectionPlayHeadAndScrollStripWhereTheSceneSaysSo) {
  WaveWidget w;
  w.resize(400, 200);
  w.SetSource({[](int, int) { return Scene(); }, {}, {}, {}});
  const QImage image = w.grab().toImage();
  test::SaveScreen(w, "wave-widget-scene");
  const QRgb background = Rgb(wave_colors::kBackground);
  struct Probe {
    const char* what;
    int x, y;
    std::function<bool(QRgb)> ok;
  };
  const Probe probes[] = {
      {"loud column near the lane top", 250, 40, [](QRgb c) { return c == Rgb(wave_colors::kEnvelope); }},
      {"quiet column outside the selection", 180, 40, [&](QRgb c) { return c == background; }},
      {"quiet column inside the selection is lighter", 100, 40,
       [&](QRgb c) { return qGray(c) > qGray(background) + 20; }},
      {"just right of the selection", 152, 40, [&](QRgb c) { return c == background; }},
      {"play head", 300, 100, [](QRgb c) { return c == Rgb(wave_colors::kPlayHead); }},
      {"beside the play head", 302, 12, [&](QRgb c) { return c != Rgb(wave_colors::kPlayHead); }},
      {"scroll thumb", 130, 194, [](QRgb c) { return c == Rgb(wave_colors::kScrollThumb); }},
      {"scroll track", 30, 194, [](QRgb c) { return c == Rgb(wave_colors::kScrollTrack); }},
  };
  for (const Probe& p : probes)
    EXPECT_TRUE(p.ok(image.pixel(p.x, p.y))) << p.what << ": #" << std::hex << image.pixel(p.x, p.y);

  // Recording: lanes without values, the columns in the live colour.
  w.SetSource({[](int, int) {
                 WaveScene s = Scene();
                 s.live = true;
                 s.lanes[0].mins.clear();
                 s.lanes[0].maxs.clear();
                 s.liveColumns = {{250, {-0.9f, 0}, {0.9f, 0}}};
                 return s;
               },
               {}, {}, {}});
  const QImage live = w.grab().toImage();
  EXPECT_EQ(live.pixel(250, 40), Rgb(wave_colors::kLiveEnvelope));
  EXPECT_EQ(live.pixel(251, 40), background);
}

TEST(QtWaveWidget, ForwardsGesturesInViewUnitsAndWholeWheelNotches) {
  WaveWidget w;
  w.resize(300, 120);
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  std::vector<std::string> seen;
  auto name = [](MouseAction a) {
    return a == MouseAction::Press ? "press" : a == MouseAction::Move ? "move" : a == MouseAction::Release ? "release" : "double";
  };
  w.SetSource({[](int, int) { return WaveScene{}; },
               [&](const MouseEvent& m, int vw, int vh) {
                 seen.push_back(std::string(name(m.action)) + (m.button == MouseButton::Right ? " right " : " left ") +
                                std::to_string(m.x) + "," + std::to_string(m.y) + " in " + std::to_string(vw) + "x" +
                                std::to_string(vh));
               },
               [&](const WheelEvent& e, int, int) {
                 seen.push_back("wheel " + std::to_string(e.steps) + " at " + std::to_string(e.x));
               },
               [](int x, int, int, int) { return x < 20 ? PointerShape::Hand : PointerShape::IBeam; }});
  QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(40, 50));
  QTest::mouseMove(&w, QPoint(90, 52));
  QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(90, 52));
  QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(70, 50));
  QTest::mousePress(&w, Qt::RightButton, {}, QPoint(200, 60));
  QTest::mouseRelease(&w, Qt::RightButton, {}, QPoint(150, 60));
  auto wheel = [&](int delta, int x) {
    QWheelEvent e(QPointF(x, 30), w.mapToGlobal(QPointF(x, 30)), {}, QPoint(0, delta), Qt::NoButton, {},
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &e);
  };
  wheel(120, 100);
  wheel(60, 110);  // half notches from a touchpad add up to one
  wheel(60, 120);
  wheel(-240, 130);

  const std::vector<std::string> expected = {
      "press left 40,50 in 300x120", "move left 90,52 in 300x120", "release left 90,52 in 300x120",
      "double left 70,50 in 300x120", "press right 200,60 in 300x120", "release right 150,60 in 300x120",
      "wheel 1 at 100", "wheel 1 at 120", "wheel -2 at 130"};
  EXPECT_EQ(seen, expected);
  EXPECT_TRUE(w.hasFocus()) << "a left release gives the view the keyboard focus";
  QTest::mouseMove(&w, QPoint(10, 50));
  EXPECT_EQ(w.cursor().shape(), Qt::PointingHandCursor);
}

}  // namespace
}  // namespace vesk::ui::qt
