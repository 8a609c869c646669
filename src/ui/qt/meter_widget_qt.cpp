#include "ui/qt/meter_widget_qt.h"

#include <QPainter>
#include <algorithm>

#include "ui/view_tables.h"

namespace vesk::ui::qt {
namespace {

QColor Rgb(uint32_t rgb) { return QColor((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

}  // namespace

MeterWidget::MeterWidget(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

// The lanes as the Windows window draws them: the peak bar, the RMS bar over
// it, the hold tick, and the clip box at the end of each lane.
void MeterWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect all = rect();
  p.fillRect(all, Rgb(meter_colors::kTrack));
  const MeterReading m = source_ ? source_() : MeterReading{};
  const int channels = std::clamp(m.channels, 0, 2);
  const int lanes = std::max(1, channels);
  const int gap = 2, clipW = 10;
  const int barsRight = all.right() + 1 - clipW - gap;
  const int laneH = std::max(1, (all.height() - gap * (lanes + 1)) / lanes);
  for (int c = 0; c < lanes; ++c) {
    const int top = all.top() + gap + c * (laneH + gap);
    const int left = all.left() + gap;
    const int width = barsRight - left;
    const bool clip = c < channels && m.clip[c];
    p.fillRect(barsRight + gap, top, all.right() + 1 - gap - barsRight - gap, laneH,
               Rgb(clip ? meter_colors::kClip : meter_colors::kClipOff));
    if (c >= channels) continue;
    const int peak = int(width * MeterShare(m.peak[c]));
    const int rms = int(width * MeterShare(m.rms[c]));
    const int hold = int(width * MeterShare(m.peakHold[c]));
    p.fillRect(left, top, peak, laneH, Rgb(meter_colors::kPeak));
    p.fillRect(left, top, std::min(rms, peak > 0 ? peak : rms), laneH, Rgb(meter_colors::kRms));
    if (hold > 0) p.fillRect(left + std::min(hold, width - 1), top, 2, laneH, Rgb(meter_colors::kHold));
  }
}

}  // namespace vesk::ui::qt
