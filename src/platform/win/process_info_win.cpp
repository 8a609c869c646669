#include <windows.h>

#include "platform/process_info.h"

namespace vesk {

unsigned long LastSystemError() { return GetLastError(); }

}  // namespace vesk
