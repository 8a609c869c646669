#include <time.h>

#include "platform/clock.h"

namespace vesk {

int64_t Now100ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 10'000'000 + ts.tv_nsec / 100;
}

uint64_t TickMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1'000'000;
}

}  // namespace vesk
