#pragma once
// The layout dump of the Qt main window: its child widgets in creation
// order, keyed by their object names, in 96-DPI units.
#include <string>
#include <vector>

#include "app/layout_json.h"
#include "ui/qt/main_window_qt.h"

namespace vesk {

std::vector<LayoutItem> LayoutDumpItems(const ui::qt::MainWindow& window);
std::string LayoutDumpJson(const ui::qt::MainWindow& window);

}  // namespace vesk
