#pragma once
// Facts about the running process and machine that logs and diagnostics
// print: local wall-clock time, thread and process ids, the system version.
#include <string>

namespace vesk {

struct LocalTime {
  unsigned year = 0, month = 0, day = 0;
  unsigned hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The local wall-clock time now. Thread-safe.
LocalTime LocalTimeNow();

// The system's id of the calling thread / of this process.
unsigned long CurrentThreadId();
unsigned long CurrentProcessId();

// The part of the diagnostics "系统：" line that names the system:
// "Windows 10.0（Build 19045）" (real version, not the compatibility one) or
// "Windows（版本未知）" on Windows; the distribution and kernel on Linux.
std::string OperatingSystemText();

}  // namespace vesk
