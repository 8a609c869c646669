#include "support/qt/qt_rig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "platform/text.h"
#include "support/test_support.h"

namespace vesk::test {

ui::AppOptions WindowOptions(const ScratchDir& dir, const std::vector<std::string>& ini) {
  if (!ini.empty()) {
    std::string text = "[VeskRecorder]\r\n";
    for (const std::string& line : ini) text += line + "\r\n";
    WriteBytes(dir / "VeskRecorder.ini", std::vector<uint8_t>(text.begin(), text.end()));
  }
  ui::AppOptions options;
  options.settingsFile = dir / "VeskRecorder.ini";
  options.settingsEnvironment = {dir.path(), dir.path()};
  options.scanPlugins = false;
  options.desktopDir = dir / "desktop";
  options.logFile = dir / "logs" / "current.log";
  options.logFolder = dir / "logs";
  return options;
}

std::unique_ptr<ui::AppController> AttachController(ui::qt::MainWindow& window, ui::AppParts parts,
                                                    ui::AppOptions options) {
  auto controller = std::make_unique<ui::AppController>(std::move(parts), window, window, std::move(options));
  window.Attach(*controller);
  return controller;
}

std::filesystem::path ScreensDir() {
  const std::filesystem::path dir = BuiltProgramDir().parent_path() / "screens";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir;
}

void SaveScreen(QWidget& widget, const std::string& name) {
  const std::filesystem::path file = ScreensDir() / (name + ".png");
  widget.grab().save(QString::fromUtf8(PathToUtf8(file).c_str()));
}

void SaveDesktop(const std::string& name) {
  const QString file = QString::fromUtf8(PathToUtf8(ScreensDir() / (name + ".png")).c_str());
  QScreen* screen = QGuiApplication::primaryScreen();
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
    screen->grabWindow(0).save(file);
    return;
  }
  QImage canvas(screen->size(), QImage::Format_RGB32);
  canvas.fill(Qt::darkGray);
  QPainter painter(&canvas);
  // Stacking order is not known offscreen: modal windows go over the rest.
  QWidgetList windows = QApplication::topLevelWidgets();
  std::stable_partition(windows.begin(), windows.end(), [](QWidget* w) { return !w->isModal(); });
  for (QWidget* w : windows)
    if (w->isVisible() && !w->isMinimized()) painter.drawPixmap(w->geometry().topLeft(), w->grab());
  painter.end();
  canvas.save(file);
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qSleep(5);
  }
  return true;
}

DialogScript::DialogScript() : timer_(new QTimer) {
  timer_->setInterval(20);
  QObject::connect(timer_, &QTimer::timeout, [this] { Poll(); });
  timer_->start();
}

DialogScript::~DialogScript() { delete timer_; }

DialogScript& DialogScript::Then(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}

void DialogScript::Poll() {
  if (steps_.empty()) return;
  QWidget* active = QApplication::activePopupWidget();
  if (active == nullptr) active = QApplication::activeModalWidget();
  if (active == nullptr || !active->isVisible()) return;
  // The step may open the next dialog from inside its own nested loop.
  Step step = steps_.front();
  steps_.pop_front();
  if (!step(active)) steps_.push_front(std::move(step));
}

DialogScript::Step DialogScript::AnswerBox(bool yes) {
  return [this, yes](QWidget* active) {
    auto* box = qobject_cast<QMessageBox*>(active);
    if (box == nullptr) return false;
    boxTexts_.push_back(box->text().toStdString());
    for (QAbstractButton* b : box->buttons()) {
      const auto role = box->buttonRole(b);
      if ((yes && (role == QMessageBox::YesRole || role == QMessageBox::AcceptRole)) ||
          (!yes && role == QMessageBox::NoRole)) {
        b->click();
        return true;
      }
    }
    return false;
  };
}

DialogScript::Step DialogScript::AcceptFile(const std::filesystem::path& path) {
  return [path](QWidget* active) {
    auto* dialog = qobject_cast<QFileDialog*>(active);
    if (dialog == nullptr) return false;
    // Typed into the name field, as a person does. The dialog applies its
    // own proposed name once its folder has loaded, so type again until
    // ours is the one selected.
    const QString target = QString::fromUtf8(PathToUtf8(path).c_str());
    const QStringList selected = dialog->selectedFiles();
    const bool ours = !selected.isEmpty() && (selected.front() == target ||
                                              selected.front() == target + "." + dialog->defaultSuffix());
    if (!ours) {
      if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
        name->setText(target);
      else
        dialog->selectFile(target);
      return false;
    }
    QMetaObject::invokeMethod(dialog, "accept");
    return true;
  };
}

DialogScript::Step DialogScript::CancelDialog() {
  return [](QWidget* active) {
    auto* dialog = qobject_cast<QDialog*>(active);
    if (dialog == nullptr) return false;
    dialog->reject();
    return true;
  };
}

DialogScript::Step DialogScript::ChooseMenuItem(const std::string& text) {
  return [text](QWidget* active) {
    auto* menu = qobject_cast<QMenu*>(active);
    if (menu == nullptr) return false;
    for (QAction* a : menu->actions()) {
      if (a->text().toStdString() == text) {
        a->trigger();
        menu->close();
        return true;
      }
    }
    menu->close();  // not there: close so the test fails instead of hanging
    return true;
  };
}

DialogScript::Step DialogScript::PressKey(int key) {
  return [key](QWidget* active) {
    QTest::keyClick(active, Qt::Key(key));
    return true;
  };
}

DialogScript::Step DialogScript::Inspect(std::function<void(QWidget* active)> check) {
  return [check](QWidget* active) {
    check(active);
    if (qobject_cast<QMenu*>(active) != nullptr)
      active->close();
    else
      QTest::keyClick(active, Qt::Key_Escape);
    return true;
  };
}

}  // namespace vesk::test
