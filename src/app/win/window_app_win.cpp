// The Windows window application: single instance, main window, message loop.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_main.h"
#include "app/win/layout_dump_win.h"
#include "app/window_app.h"
#include "core/app_log.h"
#include "platform/file.h"
#include "platform/single_instance.h"
#include "platform/system.h"
#include "platform/text.h"
#include "ui/app_controller.h"
#include "ui/win/main_window_win.h"

namespace vesk {
namespace {

int StartupShowCommand() {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  GetStartupInfoW(&si);
  return (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

int RunWindowApplication(const CommandLine& cmd) {
  const bool dump = !cmd.dumpLayoutPath.empty();
  std::unique_ptr<SingleInstance> instance;
  if (!dump) {
    SingleInstanceOptions options;
    options.name = kSingleInstanceName;
    options.windowClass = WideToUtf8(ui::win::kMainClass);
    instance = ClaimSingleInstance(options);
    if (!instance->IsFirst()) {
      instance->RaiseRunning(HandedOverPath(cmd));  // restores and raises the running window
      ReleaseMediaFoundation();
      UninitComForThread();
      return 0;
    }
  }
  auto finish = [&](int code) {
    ReleaseMediaFoundation();
    AppLogShutdown();
    UninitComForThread();
    instance.reset();
    return code;
  };

  // RegisterWindowClasses also initialises the common controls.
  AppLogInit();
  AppLog("启动：pid=%lu", static_cast<unsigned long>(GetCurrentProcessId()));
  if (!ui::win::RegisterWindowClasses(GetModuleHandleW(nullptr))) {
    ShowErrorBox("注册窗口类失败。");
    return finish(1);
  }

  int code = 0;
  {
    ui::win::MainWindow window;
    const std::unique_ptr<ui::AppController> controller = BuildAppController(window, window, dump);
    window.Attach(*controller);
    ui::win::MainWindowOptions options;
    options.headless = dump;
    options.showCommand = StartupShowCommand();
    options.quitOnDestroy = !dump;
    if (!window.Create(options)) {
      ShowErrorBox("创建主窗口失败。");
      code = 1;
    } else if (dump) {
      // Written from the real, hidden window; no message loop.
      const std::string json = WindowLayoutJson(window);
      File f;
      if (!(f.OpenWrite(PathFromUtf8(cmd.dumpLayoutPath)) && f.Write(json.data(), json.size()))) code = 1;
    } else {
      // A file handed over on the command line ("Open with") opens once the window is up.
      if (!cmd.openPath.empty()) controller->OpenFile(PathFromUtf8(cmd.openPath));
      MSG msg{};
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(msg)) continue;
        if (window.Handle() && IsDialogMessageW(window.Handle(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      code = int(msg.wParam);
    }
    window.Destroy();  // while the controller exists; the controller goes first
  }  // the window and the controller go before the log closes
  return finish(code);
}

}  // namespace vesk
