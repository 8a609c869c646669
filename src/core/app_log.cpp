#include "core/app_log.h"

namespace vesk {

// Placeholder until the session log lands: nothing is written.
void AppLogInit() {}
void AppLog(const char*, ...) {}
void AppLogShutdown() {}

}  // namespace vesk
