#include "app/window_options.h"

#include "core/app_log.h"
#include "platform/folders.h"

namespace vesk {

ui::AppOptions WindowAppOptions() {
  ui::AppOptions options;
  options.settingsFile = DataFolder() / "VeskRecorder.ini";
  options.settingsEnvironment = CurrentSettingsEnvironment();
  const AppLogStatus log = AppLogCurrentStatus();
  options.previousRunUnclean = log.previousRunUnclean;
  options.logFile = log.path;
  options.logFolder = log.folder;
  return options;
}

}  // namespace vesk
