#include "ui/qt/main_window_qt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <functional>

#include <QCursor>

#include "core/app_log.h"
#include "core/settings.h"
#include "ui/box_text.h"
#include "ui/edit_area.h"
#include "ui/view_tables.h"
#include "ui/window_geometry.h"
#include "ui/qt/dialogs_qt.h"
#include "ui/qt/meter_widget_qt.h"
#include "ui/qt/preview_window_qt.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/wave_widget_qt.h"

namespace vesk::ui::qt {
namespace {

const char kIdProperty[] = "veskId";

// A one-line text that does not fit ends in "…" instead of being cut in the
// middle of a character; text() keeps the whole text (the tooltip shows it).
class ElidingLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect r = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
    style()->drawItemText(&p, r, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
  }
};

// The status line: a click is forwarded (the controller opens the details
// of a failure).
class StatusLabel : public ElidingLabel {
 public:
  StatusLabel(const QString& text, QWidget* parent, std::function<void()> clicked)
      : ElidingLabel(text, parent), clicked_(std::move(clicked)) {}

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) clicked_();
    ElidingLabel::mouseReleaseEvent(event);
  }

 private:
  std::function<void()> clicked_;
};

// The record button is painted by the program: red while it starts a
// recording, dark while it stops one (the state's checked mark).
class RecordButton : public QPushButton {
 public:
  using QPushButton::QPushButton;
  void SetRecording(bool recording) {
    recording_ = recording;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    ControlState look;
    look.enabled = isEnabled();
    look.checked = recording_;
    const uint32_t rgb = RecordButtonColor(look);
    QColor fill((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
    if (isEnabled() && isDown())
      fill = fill.darker(125);
    else if (isEnabled() && underMouse())
      fill = fill.lighter(112);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    if (hasFocus()) {
      p.setPen(QPen(QColor(255, 255, 255, 160), 1, Qt::DotLine));
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5), 4, 4);
    }
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(f.pixelSize() > 0 ? f.pixelSize() + 2 : 14);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter, text());
  }

 private:
  bool recording_ = false;
};

// The keys the edit area knows; false for every other key.
bool MapKey(const QKeyEvent& e, KeyEvent& out) {
  switch (e.key()) {
    case Qt::Key_Space: out.key = Key::Space; break;
    case Qt::Key_Left: out.key = Key::Left; break;
    case Qt::Key_Right: out.key = Key::Right; break;
    case Qt::Key_Up: out.key = Key::Up; break;
    case Qt::Key_Down: out.key = Key::Down; break;
    case Qt::Key_Home: out.key = Key::Home; break;
    case Qt::Key_End: out.key = Key::End; break;
    case Qt::Key_Delete: out.key = Key::Delete; break;
    case Qt::Key_Escape: out.key = Key::Escape; break;
    case Qt::Key_A: out.key = Key::A; break;
    case Qt::Key_O: out.key = Key::O; break;
    case Qt::Key_Y: out.key = Key::Y; break;
    case Qt::Key_Z: out.key = Key::Z; break;
    default: return false;
  }
  out.ctrl = e.modifiers() & Qt::ControlModifier;
  out.shift = e.modifiers() & Qt::ShiftModifier;
  out.autoRepeat = e.isAutoRepeat();
  return true;
}

QString KeyOf(const LayoutControl& c) {
  if (!c.key.empty()) return Q(c.key);
  if (c.id > 0) return QStringLiteral("id:%1").arg(c.id);
  if (!c.label.empty()) return QStringLiteral("text:") + Q(c.label);
  return QStringLiteral("other");
}

// The screen as the settings' rectangle checks see it, in the window's
// device-independent pixels. The desktop draws the title bar: no caption
// band inside the client rectangle.
ScreenMetrics QtScreenMetrics() {
  ScreenMetrics m;
  m.dpi = 96;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    m.primaryWidth = screen->geometry().width();
    m.primaryHeight = screen->geometry().height();
    const QRect v = screen->virtualGeometry();
    m.virtualLeft = v.left();
    m.virtualTop = v.top();
    m.virtualWidth = v.width();
    m.virtualHeight = v.height();
  }
  m.captionUnits = 0;
  return m;
}

}  // namespace

MainWindow::MainWindow() {
  setObjectName(QStringLiteral("VESKRecorderMain"));
  setWindowTitle(Q(AppController::WindowTitle()));
  setWindowIcon(AppIcon());
  setAcceptDrops(true);
  setMinimumSize(kMinClientWidth, kMinClientHeight);
  resize(kInitialClientWidth, kInitialClientHeight);

  // The layout is measured for a 9-point YaHei-like face (12 pixels at 96
  // DPI); a CJK face first keeps Latin and Chinese glyphs from one font.
  QFont f = font();
  f.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                 QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Microsoft YaHei UI"), f.family()});
  f.setPixelSize(12);
  setFont(f);

  layout_ = MainLayout(kInitialClientWidth, kInitialClientHeight);
  for (const LayoutControl& c : layout_) controls_.push_back(CreateControl(c));
  PlaceControls();
  preview_ = new PreviewWindow(this);
}

void MainWindow::Attach(AppController& controller) {
  controller_ = &controller;
  AppController* c = controller_;
  wave_->SetSource({[c](int w, int h) { return c->Edit().Scene(w, h); },
                    [this, c](const MouseEvent& m, int w, int h) {
                      if (c->OnMouse(m, w, h)) RunMenu(c->ContextMenu(), QCursor::pos());
                    },
                    [c](const WheelEvent& m, int w, int h) { c->OnWheel(m, w, h); },
                    [c](int x, int y, int w, int h) { return c->Edit().PointerAt(x, y, w, h); }});
  meter_->SetSource([c] { return c->Meter(); });

  tick_.setInterval(33);
  tick_.setTimerType(Qt::PreciseTimer);
  // Under a progress window the controller's tick does nothing itself.
  connect(&tick_, &QTimer::timeout, this, [this] { controller_->OnTick(); });
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  tick_.stop();
}

QWidget* MainWindow::CreateControl(const LayoutControl& c) {
  QWidget* w = nullptr;
  const int id = c.id;
  switch (c.kind) {
    case ControlKind::Label:
    case ControlKind::TextView: {
      // Like the Windows window: every text but the large clock ends in "…" when cut.
      QLabel* label = nullptr;
      if (c.largeFont)
        label = new QLabel(Q(c.label), this);
      else if (c.key == "status")
        label = new StatusLabel(Q(c.label), this, [this] { controller_->OnStatusClicked(); });
      else
        label = new ElidingLabel(Q(c.label), this);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      if (c.largeFont) {
        QFont big = font();
        big.setPixelSize(22);
        big.setBold(true);
        big.setStyleHint(QFont::Monospace);
        label->setFont(big);
      }
      w = label;
      break;
    }
    case ControlKind::DropDown: {
      auto* combo = new QComboBox(this);
      for (const std::string& o : c.options) combo->addItem(Q(o));
      if (!c.options.empty()) combo->setCurrentIndex(0);
      connect(combo, &QComboBox::activated, this, [this, id](int index) { controller_->OnComboChanged(id, index); });
      w = combo;
      break;
    }
    case ControlKind::Button:
    case ControlKind::OwnerButton: {
      QPushButton* b = c.kind == ControlKind::OwnerButton ? new RecordButton(Q(c.label), this)
                                                          : new QPushButton(Q(c.label), this);
      b->setAutoDefault(false);
      connect(b, &QPushButton::clicked, this, [this, id] { controller_->OnCommand(id); });
      w = b;
      break;
    }
    case ControlKind::SplitButton: {
      auto* b = new QToolButton(this);
      b->setText(Q(c.label));
      b->setPopupMode(QToolButton::MenuButtonPopup);
      b->setToolButtonStyle(Qt::ToolButtonTextOnly);
      b->setFocusPolicy(Qt::StrongFocus);
      auto* menu = new QMenu(b);
      // The items follow the current choices, so the menu is rebuilt each time it opens.
      connect(menu, &QMenu::aboutToShow, this, [this, menu, id] {
        menu->clear();
        for (const MenuItem& item : controller_->SplitMenu(id)) {
          if (item.separator) {
            menu->addSeparator();
            continue;
          }
          QAction* a = menu->addAction(Q(item.text));
          a->setData(item.id);
          a->setCheckable(item.checked);
          a->setChecked(item.checked);
          a->setEnabled(item.enabled && item.id > 0);
        }
      });
      connect(menu, &QMenu::triggered, this, [this](QAction* a) {
        const int chosen = a->data().toInt();
        if (chosen > 0) controller_->OnCommand(chosen);
      });
      b->setMenu(menu);
      connect(b, &QToolButton::clicked, this, [this, id] { controller_->OnCommand(id); });
      w = b;
      break;
    }
    case ControlKind::ReadOnlyEdit: {
      auto* edit = new QLineEdit(Q(c.label), this);
      edit->setReadOnly(true);
      w = edit;
      break;
    }
    case ControlKind::Wave:
      wave_ = new WaveWidget(this);
      w = wave_;
      break;
    case ControlKind::Meter:
      meter_ = new MeterWidget(this);
      w = meter_;
      break;
  }
  w->setObjectName(KeyOf(c));
  w->setProperty(kIdProperty, id);
  return w;
}

void MainWindow::PlaceControls() {
  layout_ = MainLayout(width(), height());
  for (size_t i = 0; i < layout_.size() && i < controls_.size(); ++i) {
    const LayoutRect& r = layout_[i].rect;
    controls_[i]->setGeometry(r.x, r.y, r.w, r.h);
  }
}

void MainWindow::Start() {
  controller_->Start();
  placement_ = controller_->SavedPlacement(QtScreenMetrics());
  if (placement_) {
    const WindowRect& r = placement_->restored;
    setGeometry(r.left, r.top, r.Width(), r.Height());
  }
  tick_.start();
}

void MainWindow::ShowAsPlaced() {
  if (placement_ && placement_->maximized)
    showMaximized();
  else
    show();
  raise();
  activateWindow();
}

void MainWindow::BringToFront() {
  AppLog("[app] 再次启动：已运行的窗口提到前面");
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

QWidget* MainWindow::ControlById(int id) const {
  for (QWidget* w : controls_)
    if (w->property(kIdProperty).toInt() == id) return w;
  return nullptr;
}

QWidget* MainWindow::ViewByKey(const std::string& key) const {
  const QString name = Q(key);
  for (QWidget* w : controls_)
    if (w->objectName() == name) return w;
  return nullptr;
}

void MainWindow::resizeEvent(QResizeEvent*) { PlaceControls(); }

MainWindowPlacement MainWindow::CurrentPlacement() const {
  // The restored (not maximised) client rectangle; the desktop keeps the frame.
  QRect r = normalGeometry();
  if (!r.isValid()) r = geometry();
  MainWindowPlacement p;
  p.restored = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  p.maximized = isMaximized();
  return p;
}

void MainWindow::closeEvent(QCloseEvent* e) {
  if (sessionEnded_) {
    e->accept();
    return;
  }
  // No closing while long work runs under the progress window.
  if (progress_ != nullptr || !controller_->QueryClose()) {
    e->ignore();
    return;
  }
  EndSession();
  e->accept();
}

bool MainWindow::EndSession() {
  if (sessionEnded_) return true;
  if (progress_ != nullptr) return false;
  sessionEnded_ = true;
  tick_.stop();
  if (donation_) donation_->close();
  controller_->Shutdown(CurrentPlacement());
  return true;
}

void MainWindow::RunMenu(const std::vector<MenuItem>& items, const QPoint& global) {
  if (items.empty()) return;
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("contextMenu"));
  for (const MenuItem& item : items) {
    if (item.separator) {
      menu.addSeparator();
      continue;
    }
    QAction* a = menu.addAction(Q(item.text));
    a->setData(item.id);
    a->setCheckable(item.checked);
    a->setChecked(item.checked);
    a->setEnabled(item.enabled && item.id > 0);
  }
  connect(&menu, &QMenu::triggered, this, [this](QAction* a) {
    if (a->data().toInt() > 0) controller_->OnCommand(a->data().toInt());
  });
  menu.exec(global);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* e) {
  // The keyboard's menu key opens the menu 40 units inside the top-left corner.
  const QPoint at = e->reason() == QContextMenuEvent::Keyboard ? mapToGlobal(QPoint(40, 40)) : e->globalPos();
  RunMenu(controller_->ContextMenu(), at);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
  if (!e->mimeData()->hasUrls()) return;
  for (const QUrl& url : e->mimeData()->urls()) {
    if (url.isLocalFile()) {
      e->acceptProposedAction();
      return;
    }
  }
}

void MainWindow::dropEvent(QDropEvent* e) {
  std::vector<std::filesystem::path> files;
  for (const QUrl& url : e->mimeData()->urls())
    if (url.isLocalFile()) files.push_back(PathOf(url.toLocalFile()));
  if (files.empty()) return;
  e->acceptProposedAction();
  controller_->OnDropFiles(files);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  // Keys reach the edit area before the focused control, once per press:
  // only as delivered to the focus widget (or to this window when nothing
  // has the focus), never again while propagating to the parents, and
  // never while a dialog or popup is up.
  // The preview window's keys are this window's: Space plays from there too.
  auto* target = qobject_cast<QWidget*>(watched);
  if (target == nullptr || (target->window() != this && target->window() != preview_)) return false;
  QWidget* focus = QApplication::focusWidget();
  if (target != (focus != nullptr ? focus : target->window())) return false;
  if (QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr) return false;
  if (progress_ != nullptr) return false;
  KeyEvent key;
  if (!MapKey(*static_cast<QKeyEvent*>(event), key)) return false;
  return controller_->OnKey(key);
}

// ---- ViewPort -------------------------------------------------------------

void MainWindow::Apply(const WindowChanges& changes) {
  for (const ControlChange& c : changes.controls) {
    QWidget* w = ControlById(c.id);
    if (w == nullptr) continue;
    const ControlState& s = c.state;
    if (c.fields & kFieldLabel) {
      if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(Q(*s.label));
      } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(Q(*s.label));
        e->setCursorPosition(0);
      } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(Q(*s.label));
      }
    }
    if (c.fields & kFieldEnabled) w->setEnabled(s.enabled);
    if (c.fields & kFieldChecked) {
      if (auto* record = dynamic_cast<RecordButton*>(w)) record->SetRecording(s.checked);
    }
    if (c.fields & kFieldTooltip) w->setToolTip(Q(*s.tooltip));
    if (auto* combo = qobject_cast<QComboBox*>(w); combo && (c.fields & (kFieldItems | kFieldSelection))) {
      const QSignalBlocker block(combo);
      if (c.fields & kFieldItems) {
        combo->clear();
        for (const std::string& item : *s.items) combo->addItem(Q(item));
      }
      combo->setCurrentIndex(s.selected >= 0 && s.selected < combo->count() ? s.selected : -1);
    }
  }
  for (const auto& [view, text] : changes.texts) {
    auto* label = qobject_cast<QLabel*>(ViewByKey(TextViewKey(view)));
    if (label == nullptr) continue;
    label->setText(Q(text));
    // A long status line ends in "…" at the window's edge; the whole text
    // stays readable on hover. As rich text the tip wraps instead of running
    // off the screen.
    if (view == TextView::Status)
      label->setToolTip(text.empty() ? QString()
                                     : QStringLiteral("<p style='white-space:pre-wrap'>") + Q(text).toHtmlEscaped() +
                                           QStringLiteral("</p>"));
  }
  if (changes.statusDetails) {
    if (QWidget* label = ViewByKey("status")) {
      label->setProperty("hasDetails", *changes.statusDetails);
      if (*changes.statusDetails)
        label->setCursor(Qt::PointingHandCursor);
      else
        label->unsetCursor();
    }
  }
  if (changes.repaintWave) wave_->update();
  if (changes.repaintMeter) meter_->update();
}

BoxAnswer MainWindow::ShowBox(BoxKind kind, const std::string& title, const std::string& text, BoxButtons buttons,
                              BoxAnswer defaultButton) {
  if (kind == BoxKind::Details) {
    RunDetailsBox(isVisible() ? this : nullptr, title, text);
    return BoxAnswer::Ok;
  }
  return RunMessageBox(isVisible() ? this : nullptr, kind, CapBoxText(title), CapBoxText(text), buttons,
                       defaultButton);
}

bool MainWindow::PickFile(const FileDialogRequest& request, std::filesystem::path& chosen) {
  if (request.pickFolder) return PickFolder(request.title, request.folder, chosen);
  QFileDialog dialog(this, Q(request.title));
  dialog.setObjectName(QStringLiteral("fileDialog"));
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  QStringList filters;
  for (const FileFilter& f : request.filters) {
    QStringList patterns;
    for (const std::string& ext : f.extensions) patterns << QStringLiteral("*.") + Q(ext);
    for (const std::string& name : f.fileNames) patterns << Q(name);
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    filters << Q(f.label) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  if (!filters.empty()) dialog.setNameFilters(filters);
  // A name typed without an extension gets the first filter's one, as the
  // save dialogs of other systems do.
  if (request.save && !request.filters.empty() && !request.filters[0].extensions.empty())
    dialog.setDefaultSuffix(Q(request.filters[0].extensions[0]));
  if (!request.folder.empty()) dialog.setDirectory(QPath(request.folder));
  if (!request.fileName.empty()) dialog.selectFile(Q(request.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = PathOf(dialog.selectedFiles().front());
  return true;
}

bool MainWindow::PickFolder(const std::string& title, const std::filesystem::path& initial,
                            std::filesystem::path& chosen) {
  QFileDialog dialog(this, Q(title));
  dialog.setObjectName(QStringLiteral("folderDialog"));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (!initial.empty()) dialog.setDirectory(QPath(initial));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = PathOf(dialog.selectedFiles().front());
  return true;
}

void MainWindow::ProgressBegin(const std::string& title, bool cancellable) {
  ProgressEnd();
  progress_ = new QProgressDialog(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setWindowTitle(Q(title));
  progress_->setWindowModality(Qt::ApplicationModal);
  progress_->setRange(0, 100);
  progress_->setMinimumDuration(0);
  progress_->setAutoClose(false);
  progress_->setAutoReset(false);
  progress_->setMinimumWidth(360);
  if (cancellable)
    progress_->setCancelButtonText(QStringLiteral("取消"));
  else
    progress_->setCancelButton(nullptr);
  progress_->setValue(0);
  progress_->show();
  QCoreApplication::processEvents();
}

bool MainWindow::ProgressStep(int percent, const std::string& stage) {
  if (progress_ == nullptr) return true;
  if (!stage.empty()) progress_->setLabelText(Q(stage));
  progress_->setValue(std::clamp(percent, 0, 100));
  QCoreApplication::processEvents();
  return !progress_->wasCanceled();
}

void MainWindow::ProgressEnd() {
  if (progress_ == nullptr) return;
  progress_->hide();
  progress_->deleteLater();
  progress_ = nullptr;
}

void MainWindow::Wake() {
  QMetaObject::invokeMethod(this, [this] { controller_->OnWake(); }, Qt::QueuedConnection);
}

bool MainWindow::RevealFile(const std::filesystem::path& file) { return RevealInFileManager(file); }
bool MainWindow::OpenFolder(const std::filesystem::path& folder) { return OpenInFileManager(folder); }
bool MainWindow::OpenUrl(const std::string& url) { return OpenInBrowser(url); }
bool MainWindow::OpenSoundSettings(std::string& error) { return OpenSystemSoundSettings(error); }

void MainWindow::ShowDonationWindow() {
  if (!donation_) donation_ = CreateDonationWindow(this);
  donation_->show();
  donation_->raise();
  donation_->activateWindow();
}

TrackDialogResult MainWindow::ShowTrackDialog(const TrackDialogModel& model) { return RunTrackDialog(this, model); }
bool MainWindow::AskNumbers(const NumberDialogModel& model, std::vector<double>& values) {
  return RunNumberDialog(this, model, values);
}

PreviewView* MainWindow::Preview() { return preview_; }

unsigned MainWindow::Dpi() const { return unsigned(std::lround(96.0 * devicePixelRatioF())); }

FocusKind MainWindow::Focus() const {
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr || focus->window() != this) return FocusKind::Other;
  if (qobject_cast<QComboBox*>(focus) != nullptr) return FocusKind::DropDown;
  if (qobject_cast<QLineEdit*>(focus) != nullptr) return FocusKind::TextField;
  if (focus == wave_) return FocusKind::Wave;
  return FocusKind::Other;
}

}  // namespace vesk::ui::qt
