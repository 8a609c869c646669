// The Linux window application on Qt 6 Widgets: the main window over the
// controller, the layout dump from the real widgets, and the usage text when
// there is no display to show a window on.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

#include "app/app_main.h"
#include "app/qt/layout_dump_qt.h"
#include "app/layout_json.h"
#include "app/usage_text.h"
#include "app/window_options.h"
#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "audio/playback_stream.h"
#include "core/app_log.h"
#include "core/version.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/text.h"
#include "ui/qt/main_window.h"

namespace vesk {
namespace {

bool HaveDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return true;
  }
  return false;
}

void ReleaseProcessServices() {
  ReleaseMediaFoundation();
  AppLogShutdown();
  UninitComForThread();
}

}  // namespace

int RunWindowApplication(const CommandLine& cmd) {
  const bool dump = !cmd.dumpLayoutPath.empty();
  if (!dump && !HaveDisplay()) {
    std::fputs(UsageText("没有图形显示（DISPLAY 和 WAYLAND_DISPLAY 都没有设置），窗口无法打开。命令行模式：").c_str(),
               stdout);
    ReleaseMediaFoundation();
    UninitComForThread();
    return 0;
  }
  // The dump needs no display: the window is created hidden on the
  // offscreen platform, at the fixed 96-DPI scale.
  if (dump) qputenv("QT_QPA_PLATFORM", "offscreen");

  static int argc = 1;
  static char name[] = "VeskRecorder";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("VeskRecorder"));
  QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
  QApplication::setDesktopFileName(QStringLiteral("VeskRecorder"));
  // Qt's own dialog texts (file dialog, overwrite questions) in Chinese like the rest.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);

  AppLogInit();
  AppLog("启动：pid=%lu", static_cast<unsigned long>(QApplication::applicationPid()));

  int code = 0;
  {
    ui::qt::MainWindow window(ui::CreateSystemAppParts(), WindowAppOptions());
    window.Start();
    if (dump) {
      const std::string json = LayoutDumpJson(window);
      File f;
      if (!f.OpenWrite(PathFromUtf8(cmd.dumpLayoutPath)) || !f.Write(json.data(), json.size())) code = 1;
    } else {
      window.ShowAsPlaced();
      code = app.exec();
    }
  }
  ReleaseProcessServices();
  return code;
}

}  // namespace vesk
