// The Linux window application on Qt 6 Widgets: the main window over the
// controller, the layout dump from the real widgets, and the usage text when
// there is no display to show a window on.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "app/app_main.h"
#include "app/qt/layout_dump_qt.h"
#include "app/layout_json.h"
#include "app/usage_text.h"
#include "app/window_app.h"
#include "core/app_log.h"
#include "core/version.h"
#include "platform/file.h"
#include "platform/single_instance.h"
#include "platform/system.h"
#include "platform/termination.h"
#include "platform/text.h"
#include "ui/qt/main_window_qt.h"

namespace vesk {
namespace {

bool HaveDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return true;
  }
  return false;
}

constexpr char kNoDisplay[] = "没有图形显示（DISPLAY 和 WAYLAND_DISPLAY 都没有设置），窗口无法打开。命令行模式：";

// Qt ends the process when no platform plugin starts (a display that is set
// but cannot be reached); that start fails like one without a display.
QtMessageHandler qtHandler = nullptr;
void EndWhenQtCannotStart(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    if (qtHandler) qtHandler(type, context, text);
    return;
  }
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
  std::fputs(UsageText("图形显示连接不上，窗口无法打开。命令行模式：").c_str(), stderr);
  std::_Exit(1);
}

// The window a second start asks to come forward (and to open its file),
// or the system asks to end; the requests arrive on background threads, the
// window may not exist yet or any more. A request that comes before the
// window is up (a second start while the first is still starting) is kept
// and carried out as soon as it is; of several files the last one counts.
class RaiseTarget {
 public:
  void Set(ui::qt::MainWindow* window) {
    std::lock_guard<std::mutex> lock(mutex_);
    window_ = window;
    if (window_ == nullptr) return;
    if (raisePending_) PostRaise(pendingFile_);
    raisePending_ = false;
    pendingFile_.clear();
    if (endRequested_) PostEnd();
  }
  void Raise(const std::filesystem::path& file) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (window_ != nullptr) {
      PostRaise(file);
      return;
    }
    raisePending_ = true;
    if (!file.empty()) pendingFile_ = file;
  }
  void RequestEnd() {
    std::lock_guard<std::mutex> lock(mutex_);
    endRequested_ = true;
    if (window_ != nullptr) PostEnd();
  }

 private:
  void PostRaise(const std::filesystem::path& file) {
    ui::qt::MainWindow* w = window_;
    QMetaObject::invokeMethod(
        w,
        [w, file] {
          w->BringToFront();
          if (!file.empty()) w->Controller().OpenHandedOver(file);
        },
        Qt::QueuedConnection);
  }
  void PostEnd() {
    ui::qt::MainWindow* w = window_;
    QMetaObject::invokeMethod(
        w,
        [w] {
          AppLog("[app] 系统要求结束程序，按关闭窗口处理");
          EndWhenIdle(w);
        },
        Qt::QueuedConnection);
  }
  // Work under the progress window (a save, an export) finishes first.
  static void EndWhenIdle(ui::qt::MainWindow* w) {
    if (w->EndSession())
      QCoreApplication::exit(0);
    else
      QTimer::singleShot(100, w, [w] { EndWhenIdle(w); });
  }
  std::mutex mutex_;
  ui::qt::MainWindow* window_ = nullptr;
  bool endRequested_ = false;
  bool raisePending_ = false;
  std::filesystem::path pendingFile_;
};

void ReleaseProcessServices() {
  ReleaseMediaFoundation();
  AppLogShutdown();
  UninitComForThread();
}

}  // namespace

int RunWindowApplication(const CommandLine& cmd) {
  const bool dump = !cmd.dumpLayoutPath.empty();
  if (!dump && !HaveDisplay()) {
    std::fputs(UsageText(kNoDisplay).c_str(), stderr);
    ReleaseMediaFoundation();
    UninitComForThread();
    return 1;
  }
  // The dump needs no display: the window is created hidden on the
  // offscreen platform, at the fixed 96-DPI scale.
  if (dump) qputenv("QT_QPA_PLATFORM", "offscreen");

  // Reached from background threads that may outlive this function.
  static RaiseTarget& raiseTarget = *new RaiseTarget;
  std::unique_ptr<SingleInstance> instance;
  if (!dump) {
    SingleInstanceOptions single;
    single.name = kSingleInstanceName;
    single.raiseRequested = [](const std::filesystem::path& file) { raiseTarget.Raise(file); };
    instance = ClaimSingleInstance(single);
    if (!instance->IsFirst()) {
      instance->RaiseRunning(HandedOverPath(cmd));
      ReleaseMediaFoundation();
      UninitComForThread();
      return 0;
    }
  }

  static int argc = 1;
  static char name[] = "VeskRecorder";
  static char* argv[] = {name, nullptr};
  qtHandler = qInstallMessageHandler(EndWhenQtCannotStart);
  QApplication app(argc, argv);
  qInstallMessageHandler(qtHandler);
  QApplication::setApplicationName(QStringLiteral("VeskRecorder"));
  QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
  QApplication::setDesktopFileName(QStringLiteral("VeskRecorder"));
  // The installed icon (share/icons/hicolor); a build-folder run has none.
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("VeskRecorder")));
  // Qt's own dialog texts (file dialog, overwrite questions) in Chinese like the rest.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);

  AppLogInit();
  AppLog("启动：pid=%lu", static_cast<unsigned long>(QApplication::applicationPid()));
  if (!dump) WatchTerminationRequests([] { raiseTarget.RequestEnd(); });

  int code = 0;
  {
    ui::qt::MainWindow window;
    const std::unique_ptr<ui::AppController> controller = BuildAppController(window, window, dump);
    window.Attach(*controller);
    window.Start();
    if (dump) {
      const std::string json = LayoutDumpJson(window);
      File f;
      if (!f.OpenWrite(PathFromUtf8(cmd.dumpLayoutPath)) || !f.Write(json.data(), json.size())) code = 1;
    } else {
      raiseTarget.Set(&window);
      window.ShowAsPlaced();
      // A file handed over on the command line opens once the window is up.
      if (!cmd.openPath.empty()) controller->OpenFile(PathFromUtf8(cmd.openPath));
      code = app.exec();
      raiseTarget.Set(nullptr);
    }
  }
  instance.reset();
  ReleaseProcessServices();
  return code;
}

}  // namespace vesk
