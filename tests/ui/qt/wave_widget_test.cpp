// The waveform widget paints a given scene and forwards gestures in view
// units; no edit area behind it.
#include <gtest/gtest.h>

#include <QTest>
#include <QWheelEvent>

#include "ui/qt/wave_widget_qt.h"

namespace vesk::ui::qt {
namespace {

QRgb Rgb(unsigned c) { return qRgb((c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff); }

// While recording the lanes carry no values; the live columns are drawn
// in the live colour, one line each, over two lanes. (The document's
// envelope, selection, play head and strip are checked on a real clip in
// main_window_test.cpp.)
TEST(QtWaveWidget, PaintsTheLiveColumnsInTheirLanes) {
  WaveWidget w;
  w.resize(400, 200);
  w.SetSource({[](int, int) {
                 WaveScene s;
                 s.empty = false;
                 s.live = true;
                 s.rulerHeight = 20;
                 s.lanes = {{20, 80, {}, {}}, {104, 80, {}, {}}};
                 s.liveColumns = {{250, {-0.9f, -0.1f}, {0.9f, 0.1f}}};
                 return s;
               },
               {}, {}, {}});
  const QImage live = w.grab().toImage();
  const QRgb background = Rgb(wave_colors::kBackground);
  EXPECT_EQ(live.pixel(250, 30), Rgb(wave_colors::kLiveEnvelope)) << "loud in the first lane";
  EXPECT_EQ(live.pixel(251, 30), background);
  EXPECT_EQ(live.pixel(250, 144), Rgb(wave_colors::kLiveEnvelope)) << "the second lane's middle";
  EXPECT_EQ(live.pixel(250, 114), background) << "quiet in the second lane";
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
