#pragma once
// Small facts about the running process.
#include <cstdint>

namespace vesk {

// The calling thread's last system error number (errno / GetLastError), for
// messages that quote it.
unsigned long LastSystemError();
uint32_t CurrentProcessId();

}  // namespace vesk
