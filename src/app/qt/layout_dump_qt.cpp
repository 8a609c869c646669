#include "app/qt/layout_dump_qt.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWindow>
#include <cmath>

#include "app/layout_json.h"
#include "core/version.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/wave_widget_qt.h"

namespace vesk {

std::vector<LayoutItem> LayoutDumpItems(const ui::qt::MainWindow& window) {
  using ui::qt::Q;
  using ui::qt::U;
  const double scale = window.devicePixelRatioF();
  const int dpi = int(std::lround(96.0 * scale));
  std::vector<LayoutItem> items;
  for (QObject* child : window.children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (w == nullptr || w->isWindow()) continue;
    LayoutItem it;
    it.key = U(w->objectName());
    it.id = w->property("veskId").toInt();
    it.cls = w->metaObject()->className();
    if (it.key == "wave") it.cls = "VESKWaveView";
    if (it.key == "meter") it.cls = "VESKMeter";
    if (auto* label = qobject_cast<QLabel*>(w)) {
      it.text = U(label->text());
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      it.text = U(button->text());
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      it.text = U(edit->text());
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      it.text = U(combo->currentText());
      it.isCombo = true;
      it.sel = combo->currentIndex();
      for (int i = 0; i < combo->count(); ++i) it.options.push_back(U(combo->itemText(i)));
    }
    const QRect g = w->geometry();
    it.x = To96Dpi(g.x() * scale, dpi);
    it.y = To96Dpi(g.y() * scale, dpi);
    it.w = To96Dpi(g.width() * scale, dpi);
    it.h = To96Dpi(g.height() * scale, dpi);
    items.push_back(std::move(it));
  }
  return items;
}

std::string LayoutDumpJson(const ui::qt::MainWindow& window) {
  const double scale = window.devicePixelRatioF();
  return BuildLayoutJson(std::string("VeskRecorder ") + kVersion, int(std::lround(96.0 * scale)),
                         int(std::lround(window.width() * scale)), int(std::lround(window.height() * scale)),
                         LayoutDumpItems(window));
}

}  // namespace vesk
