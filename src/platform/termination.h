#pragma once
// The system asking the program to end (Linux: SIGTERM at log-out or
// shut-down, SIGHUP when the terminal goes, SIGINT from Ctrl+C). Windows
// ends sessions through window messages instead and has nothing here.
#include <functional>

namespace vesk {

// From now on those signals no longer end the process at once: the first
// one calls `onRequest` on a background thread (once); the program then
// closes as it does when the user closes it. False when not supported.
// Call once.
bool WatchTerminationRequests(std::function<void()> onRequest);

}  // namespace vesk
