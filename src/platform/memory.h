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

}  // namespace vesk

#include <cstdint>

namespace vesk {

// Physical memory currently available to the process; false when the system
// does not say.
bool AvailablePhysicalMemory(uint64_t& bytes);

}  // namespace vesk
