#include <windows.h>

#include "platform/memory.h"

namespace vesk {

// Large pages need a privilege ordinary users lack; nothing to do.
void AdviseLargeBuffer(void*, size_t) {}

void PrefaultBuffer(void*, size_t) {}

bool PrefaultWorthwhile(size_t) { return false; }

bool AvailablePhysicalMemory(uint64_t& bytes) {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof(status);
  if (!GlobalMemoryStatusEx(&status)) return false;
  bytes = status.ullAvailPhys;
  return true;
}

}  // namespace vesk
