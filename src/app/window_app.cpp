#include "app/window_app.h"

#include "core/app_log.h"
#include "platform/folders.h"
#include "ui/app_parts.h"

namespace vesk {

std::unique_ptr<ui::AppController> BuildAppController(ui::ViewPort& view, ui::Desktop& desktop, bool headless) {
  // The settings file in the data folder, the folders settings are derived
  // from and the session log's verdict on the previous run (the log is up).
  ui::AppOptions options;
  options.settingsFile = DataFolder() / "VeskRecorder.ini";
  options.settingsEnvironment = CurrentSettingsEnvironment();
  const AppLogStatus log = AppLogCurrentStatus();
  options.previousRunUnclean = log.previousRunUnclean;
  options.logFile = log.path;
  options.logFolder = log.folder;
  options.headless = headless;
  return std::make_unique<ui::AppController>(ui::CreateSystemAppParts(), view, desktop, std::move(options));
}

}  // namespace vesk
