#pragma once
// The waveform view: paints the edit area's scene and forwards mouse and
// wheel input in 96-DPI units (Qt's device-independent pixels). It decides
// nothing; keys reach the edit area through the main window.
#include <QWidget>
#include <functional>

#include "ui/input_events.h"
#include "ui/view_tables.h"
#include "ui/wave_scene.h"

namespace vesk::ui::qt {

// Where the view's scene comes from and where its input goes; the main
// window connects it to the edit area, tests to a fixed scene.
struct WaveSource {
  std::function<WaveScene(int width, int height)> scene;
  std::function<void(const MouseEvent&, int width, int height)> mouse;
  std::function<void(const WheelEvent&, int width, int height)> wheel;
  std::function<PointerShape(int x, int y, int width, int height)> pointer;
};

class WaveWidget : public QWidget {
 public:
  explicit WaveWidget(QWidget* parent = nullptr);
  void SetSource(WaveSource source) { source_ = std::move(source); }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void wheelEvent(QWheelEvent*) override;

 private:
  void Forward(QMouseEvent* e, MouseAction action);
  void UpdatePointer(int x, int y);

  WaveSource source_;
  int wheelRemainder_ = 0;  // eighths of a degree not yet a whole notch (touchpads)
};

// Draws `scene` over the whole painter's area; `base` is the view's font.
void PaintWaveScene(QPainter& painter, const WaveScene& scene, const QFont& base);


}  // namespace vesk::ui::qt
