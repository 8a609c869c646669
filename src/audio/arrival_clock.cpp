#include "audio/arrival_clock.h"

#include <algorithm>

namespace vesk {

void ArrivalClock::Begin(uint32_t rate) {
  rate_ = rate;
  position_ = 0;
  origin_ = 0;
  lastArrival_ = 0;
}

int64_t ArrivalClock::TicksFor(uint64_t frames) const {
  // Exact for any realistic take: frames stay far below 2^63 / 10^7.
  return rate_ == 0 ? 0 : int64_t(frames * 10'000'000 / rate_);
}

int64_t ArrivalClock::Stamp(size_t frames, int64_t arrival, int64_t reported) {
  if (rate_ == 0) return reported;
  const int64_t start = TicksFor(position_);
  // Position 0 was captured no later than this.
  const int64_t bound = arrival - TicksFor(position_ + frames);
  if (origin_ == 0) {
    origin_ = bound;
  } else {
    const int64_t passed = std::max<int64_t>(arrival - lastArrival_, 0);
    origin_ = std::min(origin_ + passed / 1000, bound);
    // The device left a stretch out: what follows was captured later.
    if (reported != 0 && reported - start > origin_ + kJump) origin_ = std::min(reported - start, bound);
  }
  lastArrival_ = std::max(lastArrival_, arrival);
  position_ += frames;
  return origin_ + start;
}

}  // namespace vesk
