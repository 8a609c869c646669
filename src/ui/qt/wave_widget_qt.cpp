#include "ui/qt/wave_widget_qt.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "ui/qt/qt_text.h"

namespace vesk::ui::qt {
namespace {

QColor Rgb(unsigned rgb, int alpha = 255) { return QColor((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff, alpha); }

// A sample value in [-1, 1] to a y inside the lane (1 at the top).
double LaneY(const EnvelopeLane& lane, float v) {
  const double c = std::clamp(double(v), -1.0, 1.0);
  return lane.top + (1.0 - c) * lane.height / 2.0;
}

void PaintEmpty(QPainter& p, const WaveScene& s, const QFont& base) {
  const QRect all(0, 0, s.width, s.height);
  QFont mark = base;
  mark.setPixelSize(std::clamp(s.height / 4, 24, 96));
  mark.setBold(true);
  p.setFont(mark);
  p.setPen(Rgb(wave_colors::kWatermark));
  p.drawText(all, Qt::AlignCenter, Q(s.watermark));

  QString text = Q(s.emptyText);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QFont f = base;
  f.setPixelSize(13);
  p.setFont(f);
  p.setPen(Rgb(wave_colors::kEmptyText));
  p.drawText(all.adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap, text);
}

void PaintRuler(QPainter& p, const WaveScene& s, const QFont& base) {
  if (s.rulerHeight <= 0) return;
  p.fillRect(0, 0, s.width, s.rulerHeight, Rgb(wave_colors::kRulerBackground));
  p.fillRect(0, s.rulerHeight - 1, s.width, 1, Rgb(wave_colors::kCenterLine));
  QFont f = base;
  f.setPixelSize(11);
  p.setFont(f);
  for (const RulerTick& t : s.ruler) {
    const int len = t.major ? std::max(6, s.rulerHeight / 2) : std::max(3, s.rulerHeight / 5);
    p.fillRect(t.x, s.rulerHeight - 1 - len, 1, len, Rgb(wave_colors::kRulerTick));
    if (t.major && !t.label.empty()) {
      p.setPen(Rgb(wave_colors::kRulerText));
      p.drawText(QRect(t.x + 3, 0, 120, s.rulerHeight - 2), Qt::AlignLeft | Qt::AlignVCenter, Q(t.label));
    }
  }
}

void PaintLanes(QPainter& p, const WaveScene& s) {
  const QColor ink = Rgb(s.live ? wave_colors::kLiveEnvelope : wave_colors::kEnvelope);
  for (size_t i = 0; i < s.lanes.size(); ++i) {
    const EnvelopeLane& lane = s.lanes[i];
    if (i > 0) p.fillRect(0, lane.top, s.width, 1, Rgb(wave_colors::kBackground));
    p.fillRect(0, lane.top + lane.height / 2, s.width, 1, Rgb(wave_colors::kCenterLine));
    const size_t columns = std::min(lane.mins.size(), lane.maxs.size());
    for (size_t x = 0; x < columns; ++x) {
      const double top = LaneY(lane, lane.maxs[x]);
      const double bottom = LaneY(lane, lane.mins[x]);
      p.fillRect(QRectF(double(x), top, 1.0, std::max(1.0, bottom - top)), ink);
    }
  }
  // The live waveform: one line per column and lane.
  for (const LiveColumn& c : s.liveColumns) {
    for (size_t i = 0; i < s.lanes.size() && i < 2; ++i) {
      const double top = LaneY(s.lanes[i], c.maxs[i]);
      const double bottom = LaneY(s.lanes[i], c.mins[i]);
      p.fillRect(QRectF(double(c.x), top, 1.0, std::max(1.0, bottom - top)), ink);
    }
  }
}

}  // namespace

void PaintWaveScene(QPainter& p, const WaveScene& s, const QFont& base) {
  p.fillRect(0, 0, s.width, s.height, Rgb(wave_colors::kBackground));
  if (s.empty && !s.live) {
    PaintEmpty(p, s, base);
    return;
  }
  PaintRuler(p, s, base);
  PaintLanes(p, s);
  if (s.hasSelection && s.selectionRight > s.selectionLeft) {
    const QRect sel(s.selectionLeft, s.rulerHeight, s.selectionRight - s.selectionLeft, s.height - s.rulerHeight);
    p.fillRect(sel, Rgb(wave_colors::kSelection, wave_colors::kSelectionAlpha));
    p.fillRect(sel.left(), sel.top(), 1, sel.height(), QColor(255, 255, 255, 110));
    p.fillRect(sel.right(), sel.top(), 1, sel.height(), QColor(255, 255, 255, 110));
  }
  if (s.hasPlayHead) p.fillRect(s.playHeadX, 0, 1, s.height, Rgb(wave_colors::kPlayHead));
  if (s.hasScrollStrip) {
    const LayoutRect& t = s.scrollTrack;
    const LayoutRect& th = s.scrollThumb;
    p.fillRect(t.x, t.y, t.w, t.h, Rgb(wave_colors::kScrollTrack));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(th.x, th.y + 2, th.w, std::max(2, th.h - 4), Rgb(wave_colors::kScrollThumb));
  }
  if (!s.hint.empty()) {
    QFont f = base;
    f.setPixelSize(12);
    p.setFont(f);
    // On a plate of the background, so the hint stays readable over a loud envelope.
    const QString hint = Q(s.hint);
    const int textW = p.fontMetrics().horizontalAdvance(hint);
    const QRect plate(s.width - textW - 18, s.rulerHeight + 4, textW + 12, 20);
    p.fillRect(plate, Rgb(wave_colors::kBackground, 210));
    p.setPen(Rgb(wave_colors::kHintText));
    p.drawText(plate, Qt::AlignCenter, hint);
  }
}

WaveWidget::WaveWidget(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  // A right click that did not pan opens the window's menu through the
  // controller (Source::mouse), not through Qt's own context-menu event.
  setContextMenuPolicy(Qt::PreventContextMenu);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void WaveWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  WaveScene scene;
  if (source_.scene) scene = source_.scene(width(), height());
  scene.width = width();
  scene.height = height();
  PaintWaveScene(p, scene, font());
}

void WaveWidget::Forward(QMouseEvent* e, MouseAction action) {
  MouseEvent m;
  m.action = action;
  m.button = e->button() == Qt::RightButton ? MouseButton::Right : MouseButton::Left;
  if (action == MouseAction::Move) m.button = (e->buttons() & Qt::RightButton) ? MouseButton::Right : MouseButton::Left;
  const QPointF pos = e->position();
  m.x = int(std::floor(pos.x()));
  m.y = int(std::floor(pos.y()));
  if (source_.mouse) source_.mouse(m, width(), height());
  UpdatePointer(m.x, m.y);
}

void WaveWidget::UpdatePointer(int x, int y) {
  const PointerShape shape = source_.pointer ? source_.pointer(x, y, width(), height()) : PointerShape::Arrow;
  setCursor(shape == PointerShape::Hand ? Qt::PointingHandCursor
            : shape == PointerShape::IBeam ? Qt::IBeamCursor
                                           : Qt::ArrowCursor);
}

void WaveWidget::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton) return;
  // The second press of a double click comes as the double click itself
  // (press, release, double click, release), so a click never lands twice.
  if (e->flags() & Qt::MouseEventCreatedDoubleClick) return;
  Forward(e, MouseAction::Press);
}

void WaveWidget::mouseMoveEvent(QMouseEvent* e) { Forward(e, MouseAction::Move); }

void WaveWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton) return;
  Forward(e, MouseAction::Release);
  if (e->button() == Qt::LeftButton) setFocus(Qt::MouseFocusReason);
}

void WaveWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  Forward(e, MouseAction::DoubleClick);
}

void WaveWidget::wheelEvent(QWheelEvent* e) {
  // 120 eighths of a degree are one notch; touchpads send fractions.
  wheelRemainder_ += e->angleDelta().y();
  const int steps = wheelRemainder_ / 120;
  wheelRemainder_ -= steps * 120;
  e->accept();
  if (steps == 0) return;
  WheelEvent w;
  w.steps = steps;
  w.x = int(std::floor(e->position().x()));
  w.y = int(std::floor(e->position().y()));
  if (source_.wheel) source_.wheel(w, width(), height());
}

}  // namespace vesk::ui::qt
