#pragma once
#include <cstddef>

namespace vesk {

// Hints that a large, freshly reserved buffer will be filled completely, so
// the system may back it with large pages (fewer page faults while filling
// gigabytes of samples). Harmless where unsupported.
void AdviseLargeBuffer(void* data, size_t bytes);

}  // namespace vesk

#include <cstdint>

namespace vesk {

// Physical memory currently available to the process; false when the system
// does not say.
bool AvailablePhysicalMemory(uint64_t& bytes);

}  // namespace vesk
