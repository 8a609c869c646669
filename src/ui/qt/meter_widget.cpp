#include "ui/qt/meter_widget.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace vesk::ui::qt {
namespace {

// Linear amplitude to the bar's share on a -60 … 0 dBFS scale.
double Share(float amplitude) {
  if (!(amplitude > 0.001f)) return 0.0;
  return std::clamp((20.0 * std::log10(double(amplitude)) + 60.0) / 60.0, 0.0, 1.0);
}

}  // namespace

MeterWidget::MeterWidget(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void MeterWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect all = rect();
  p.fillRect(all, palette().window());
  p.fillRect(all.adjusted(0, 1, 0, -1), QColor(0x18, 0x1a, 0x1f));
  const MeterReading m = source_ ? source_() : MeterReading{};
  const int channels = std::clamp(m.channels, 0, 2);
  if (channels == 0) return;

  const QRect inner = all.adjusted(2, 3, -10, -3);
  QLinearGradient g(inner.left(), 0, inner.right(), 0);
  g.setColorAt(0.0, QColor(0x43, 0xa0, 0x47));
  g.setColorAt(0.78, QColor(0x9c, 0xcc, 0x65));
  g.setColorAt(0.88, QColor(0xff, 0xc1, 0x07));
  g.setColorAt(1.0, QColor(0xe5, 0x39, 0x35));
  const int gap = 2;
  const int laneH = std::max(1, (inner.height() - gap * (channels - 1)) / channels);
  for (int c = 0; c < channels; ++c) {
    const int top = inner.top() + c * (laneH + gap);
    const int peakW = int(std::lround(Share(m.peak[c]) * inner.width()));
    const int rmsW = int(std::lround(Share(m.rms[c]) * inner.width()));
    p.setOpacity(0.45);
    p.fillRect(QRect(inner.left(), top, peakW, laneH), g);
    p.setOpacity(1.0);
    p.fillRect(QRect(inner.left(), top, rmsW, laneH), g);
    const double hold = Share(m.peakHold[c]);
    if (hold > 0) p.fillRect(inner.left() + int(std::lround(hold * (inner.width() - 2))), top, 2, laneH, Qt::white);
    p.fillRect(all.right() - 6, top, 5, laneH, m.clip[c] ? QColor(0xe5, 0x39, 0x35) : QColor(0x30, 0x34, 0x3c));
  }
}

}  // namespace vesk::ui::qt
