#pragma once
// The Qt video preview window: a top-level window owned by the main window
// that paints the controller's latest picture scaled into itself with its
// shape kept (black bars around), and reports moves, resizes and its close
// box. It decides nothing.
#include <QImage>
#include <QWidget>
#include <memory>

#include "ui/view_port.h"

namespace vesk::ui::qt {

class PreviewWindow : public QWidget, public PreviewView {
 public:
  explicit PreviewWindow(QWidget* owner);

  // PreviewView.
  void Show(const std::optional<WindowRect>& frame, PreviewEvents events) override;
  void Hide() override;
  bool Shown() const override { return isVisible(); }
  void ShowPicture(std::shared_ptr<const PreviewPicture> picture) override;
  WindowRect Frame() const override;
  PreviewSize ClientSize() const override;
  PreviewPixels Pixels() const override { return PreviewPixels::Rgb24; }
  ScreenMetrics Screen() const override;

  // The picture shown now (null when none), and where it is drawn.
  const QImage& Picture() const { return image_; }
  std::shared_ptr<const PreviewPicture> Current() const { return picture_; }
  QRect PictureRect() const;

 protected:
  void paintEvent(QPaintEvent*) override;
  void moveEvent(QMoveEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void closeEvent(QCloseEvent*) override;

 private:
  PreviewEvents events_;
  std::shared_ptr<const PreviewPicture> picture_;  // owns the pixels image_ points at
  QImage image_;
};

}  // namespace vesk::ui::qt
