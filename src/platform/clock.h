#pragma once
#include <cstdint>

namespace vesk {

// Monotonic process clock in units of 100 ns. Thread-safe.
int64_t Now100ns();

// Monotonic millisecond tick (64-bit, never wraps in practice). Thread-safe.
uint64_t TickMs();

}  // namespace vesk
