#pragma once
// Small facts about the running process.
#include <cstdint>
#include <string>

#include "platform/system_info.h"  // CurrentProcessId

namespace vesk {

// The calling thread's last system error number (errno / GetLastError), for
// messages that quote it.
unsigned long LastSystemError();

// The system's own text for an error number from LastSystemError or
// ChildProcess::Start (strerror / FormatMessage), without a trailing line
// end; "错误码 N" when the system has none.
std::string SystemErrorText(unsigned long error);

}  // namespace vesk
