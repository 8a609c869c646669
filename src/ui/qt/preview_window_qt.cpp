#include "ui/qt/preview_window_qt.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace vesk::ui::qt {
namespace {

// A first preview: 16:9 at 480 pixels wide, beside the main window.
constexpr int kFirstWidth = 480;
constexpr int kFirstHeight = 270;
constexpr int kGap = 12;

}  // namespace

PreviewWindow::PreviewWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
  setObjectName(QStringLiteral("preview"));
  setWindowTitle(QStringLiteral("视频预览"));
  setMinimumSize(160, 90);
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(kFirstWidth, kFirstHeight);
}

void PreviewWindow::Show(const std::optional<WindowRect>& frame, PreviewEvents events) {
  events_ = {};  // placing the window is no move by the user
  if (frame) {
    setGeometry(frame->left, frame->top, frame->Width(), frame->Height());
  } else {
    resize(kFirstWidth, kFirstHeight);
    if (QWidget* owner = parentWidget()) {
      QPoint at = owner->geometry().topRight() + QPoint(kGap, 0);
      if (QScreen* screen = owner->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.x() + kFirstWidth > area.right()) at.setX(std::max(area.left(), area.right() - kFirstWidth));
      }
      move(at);
    }
  }
  show();
  raise();
  events_ = std::move(events);
}

void PreviewWindow::Hide() {
  events_ = {};
  hide();
  picture_.reset();
  image_ = QImage();
}

void PreviewWindow::ShowPicture(std::shared_ptr<const PreviewPicture> picture) {
  if (picture == nullptr || picture->pixels != PreviewPixels::Rgb24 || picture->width < 1 || picture->height < 1)
    return;
  picture_ = std::move(picture);
  image_ = QImage(picture_->data.data(), picture_->width, picture_->height, qsizetype(picture_->stride),
                  QImage::Format_RGB888);
  update();
}

WindowRect PreviewWindow::Frame() const {
  const QRect r = geometry();
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

PreviewSize PreviewWindow::ClientSize() const {
  const qreal ratio = devicePixelRatioF();
  return {int(width() * ratio + 0.5), int(height() * ratio + 0.5)};
}

ScreenMetrics PreviewWindow::Screen() const {
  ScreenMetrics m;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    m.primaryWidth = screen->geometry().width();
    m.primaryHeight = screen->geometry().height();
    const QRect v = screen->virtualGeometry();
    m.virtualLeft = v.left();
    m.virtualTop = v.top();
    m.virtualWidth = v.width();
    m.virtualHeight = v.height();
  }
  return m;
}

QRect PreviewWindow::PictureRect() const {
  if (image_.isNull()) return {};
  const PreviewSize fit = FitPreviewSize(image_.width(), image_.height(), width(), height());
  return QRect((width() - fit.width) / 2, (height() - fit.height) / 2, fit.width, fit.height);
}

void PreviewWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (image_.isNull()) return;
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(PictureRect(), image_);
}

void PreviewWindow::moveEvent(QMoveEvent*) {
  if (events_.moved) events_.moved();
}

void PreviewWindow::resizeEvent(QResizeEvent*) {
  if (events_.moved) events_.moved();
}

void PreviewWindow::closeEvent(QCloseEvent* e) {
  // The handler hides this window, which drops events_: call a copy.
  const PreviewEvents events = events_;
  if (events.closedByUser) events.closedByUser();
  e->accept();
}

}  // namespace vesk::ui::qt
