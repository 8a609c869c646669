#pragma once
// What both windows hand the controller at start: the settings file in the
// data folder, the folders settings are derived from, and the session log's
// verdict on the previous run. Call after AppLogInit.
#include "ui/app_controller.h"

namespace vesk {

ui::AppOptions WindowAppOptions();

}  // namespace vesk
