#include "platform/termination.h"

namespace vesk {

// Sessions end through WM_QUERYENDSESSION / WM_ENDSESSION in the window.
bool WatchTerminationRequests(std::function<void()>) { return false; }

}  // namespace vesk
