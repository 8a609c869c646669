#pragma once
// Small facts about the running process.
#include <cstdint>

#include "platform/system_info.h"  // CurrentProcessId

namespace vesk {

// The calling thread's last system error number (errno / GetLastError), for
// messages that quote it.
unsigned long LastSystemError();

}  // namespace vesk
