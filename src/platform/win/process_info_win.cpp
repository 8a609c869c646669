#include <windows.h>

#include "platform/process_info.h"

namespace vesk {

unsigned long LastSystemError() { return GetLastError(); }
uint32_t CurrentProcessId() { return uint32_t(GetCurrentProcessId()); }

}  // namespace vesk
