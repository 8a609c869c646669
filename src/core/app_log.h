#pragma once
// The session log: one file per run of the window application, every line
// opened, written and closed under one lock so it is on disk when AppLog
// returns. Headless modes never open it; until AppLogInit succeeds AppLog
// does nothing. Messages start with an area tag such as "[mix]".
#include <string>
#include <vector>

namespace vesk {

void AppLogInit();
void AppLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void AppLogShutdown();

}  // namespace vesk
