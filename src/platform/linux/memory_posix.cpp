#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "platform/memory.h"

namespace vesk {

void AdviseLargeBuffer(void* data, size_t bytes) {
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  if (!data || bytes < 2 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace vesk

#include <fstream>
#include <string>

namespace vesk {

bool AvailablePhysicalMemory(uint64_t& bytes) {
  // MemAvailable counts reclaimable cache, unlike the free-page count.
  std::ifstream in("/proc/meminfo");
  std::string key;
  uint64_t kib = 0;
  std::string unit;
  while (in >> key >> kib) {
    std::getline(in, unit);
    if (key == "MemAvailable:") {
      bytes = kib * 1024;
      return true;
    }
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return false;
  bytes = uint64_t(pages) * uint64_t(pageSize);
  return true;
}

}  // namespace vesk

namespace vesk {

bool PrefaultWorthwhile(size_t bytes) {
  // A size taken from a damaged or hostile header must not commit more than
  // the machine can spare at once (the kernel would start killing).
  uint64_t available = 0;
  return bytes >= (size_t(1) << 20) && AvailablePhysicalMemory(available) && bytes <= available / 2;
}

void PrefaultBuffer(void* data, size_t bytes) {
  constexpr uintptr_t kPage = 4096;
  if (!data || !PrefaultWorthwhile(bytes)) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
  if (end <= begin) return;
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

}  // namespace vesk
