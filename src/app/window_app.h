#pragma once
// The composition root of the window application: the controller over the
// system's sound engines and the program's settings, handed to the view of
// this build (ui/win or ui/qt), which only forwards input and shows state.
#include <memory>

#include "ui/app_controller.h"

namespace vesk {

// `headless`: the hidden window of the layout dump (no repairs, no device
// notifications, no plug-in scan).
std::unique_ptr<ui::AppController> BuildAppController(ui::ViewPort& view, ui::Desktop& desktop, bool headless);

}  // namespace vesk
