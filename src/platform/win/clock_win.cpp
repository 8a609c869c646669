#include <windows.h>

#include "platform/clock.h"

namespace vesk {

int64_t Now100ns() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return int64_t(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  const int64_t ticks = c.QuadPart;
  // Split to keep ticks * 10^7 from overflowing.
  return (ticks / frequency) * 10'000'000 + (ticks % frequency) * 10'000'000 / frequency;
}

uint64_t TickMs() { return GetTickCount64(); }

}  // namespace vesk
