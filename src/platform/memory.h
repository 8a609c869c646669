#pragma once
#include <cstddef>

namespace vesk {

// Hints that a large, freshly reserved buffer will be filled completely, so
// the system may back it with large pages (fewer page faults while filling
// gigabytes of samples). Harmless where unsupported, but measure before
// using it: where the system compacts memory on each such fault (Linux with
// defrag = madvise) filling the buffer becomes slower and less even.
void AdviseLargeBuffer(void* data, size_t bytes);

// Commits the pages of a large buffer about to be filled completely in one
// call, instead of one page fault per 4 KiB while filling it. Does nothing
// for a buffer larger than half the available physical memory, or where
// unsupported.
void PrefaultBuffer(void* data, size_t bytes);

// Whether PrefaultBuffer would commit a buffer of `bytes` here.
bool PrefaultWorthwhile(size_t bytes);

// Commits a large buffer's pages on a helper thread, front to back in
// slices, while the caller fills it from the front: the page zeroing runs on
// a second core instead of in the caller's page faults (which it spares once
// the helper is ahead). Stops early and waits for the helper when destroyed.
// Does nothing where PrefaultBuffer would not commit the whole buffer, or
// with a single core.
class PrefaultAhead {
 public:
  PrefaultAhead(void* data, size_t bytes);
  ~PrefaultAhead();
  PrefaultAhead(const PrefaultAhead&) = delete;
  PrefaultAhead& operator=(const PrefaultAhead&) = delete;

 private:
  struct Helper;
  Helper* helper_ = nullptr;
};

}  // namespace vesk

#include <cstdint>

namespace vesk {

// Physical memory currently available to the process; false when the system
// does not say.
bool AvailablePhysicalMemory(uint64_t& bytes);

}  // namespace vesk
