#pragma once
// The layout dump of the real Win32 main window (--dump-layout).
#include <string>

namespace vesk::ui::win {
class MainWindow;
}

namespace vesk {

// UTF-8 JSON with a byte-order mark: the window's children in enumeration
// order with keys, classes, ids, texts, combo selections and options, the
// painted meter, positions in 96-DPI units and the window's real DPI.
std::string WindowLayoutJson(const ui::win::MainWindow& window);

}  // namespace vesk
