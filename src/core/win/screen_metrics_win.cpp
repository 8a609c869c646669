#include <windows.h>

#include "core/settings.h"

namespace vesk {

ScreenMetrics CurrentScreenMetrics(unsigned dpi) {
  ScreenMetrics m;
  m.dpi = dpi == 0 ? 96 : dpi;
  m.primaryWidth = GetSystemMetrics(SM_CXSCREEN);
  m.primaryHeight = GetSystemMetrics(SM_CYSCREEN);
  m.virtualLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
  m.virtualTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
  m.virtualWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  m.virtualHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  m.adjustFrame = [](const WindowRect& client) {
    RECT rc{client.left, client.top, client.right, client.bottom};
    // The main window: sizing border, system menu, minimise and maximise
    // boxes, no menu, control-parent extended style.
    AdjustWindowRectEx(&rc, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
    return WindowRect{rc.left, rc.top, rc.right, rc.bottom};
  };
  return m;
}

}  // namespace vesk
