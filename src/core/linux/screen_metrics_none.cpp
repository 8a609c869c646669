#include "core/settings.h"

namespace vesk {

// No window system is used on Linux yet: an empty screen, so saved window
// rectangles are never applied.
ScreenMetrics CurrentScreenMetrics(unsigned dpi) {
  ScreenMetrics m;
  m.dpi = dpi == 0 ? 96 : dpi;
  return m;
}

}  // namespace vesk
