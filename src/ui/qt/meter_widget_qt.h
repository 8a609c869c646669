#pragma once
// The painted level meter: one bar per channel on a dBFS scale (-60 … 0),
// RMS solid, peak lighter, the peak hold as a tick and a red end mark after
// clipping. The reading comes from the controller.
#include <QWidget>
#include <functional>

#include "ui/meter_reading.h"

namespace vesk::ui::qt {

class MeterWidget : public QWidget {
 public:
  explicit MeterWidget(QWidget* parent = nullptr);
  void SetSource(std::function<MeterReading()> source) { source_ = std::move(source); }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::function<MeterReading()> source_;
};

}  // namespace vesk::ui::qt
