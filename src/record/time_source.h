#pragma once
// Where the recording engine reads the time. The mixer and the play-head
// servo take a TimeSource so that tests (and the self-test) can drive them on
// a virtual clock; production code hands them SystemTime().
#include <atomic>
#include <cstdint>

namespace vesk {

class TimeSource {
 public:
  virtual ~TimeSource() = default;
  // 100-ns ticks of the process-wide monotonic clock.
  virtual int64_t Now100ns() const = 0;
  // Millisecond tick.
  virtual uint64_t TickMs() const = 0;
};

// The real clock of platform/clock.h. Thread-safe.
const TimeSource& SystemTime();

// A clock that only moves when told to. The millisecond tick is derived from
// the 100-ns value, so both stay consistent. Thread-safe.
class ManualClock final : public TimeSource {
 public:
  explicit ManualClock(int64_t start100ns = 10'000'000'000) : now_(start100ns) {}
  int64_t Now100ns() const override { return now_.load(std::memory_order_acquire); }
  uint64_t TickMs() const override { return uint64_t(Now100ns() / 10'000); }
  void Set(int64_t now100ns) { now_.store(now100ns, std::memory_order_release); }
  void Advance(int64_t ticks) { now_.fetch_add(ticks, std::memory_order_acq_rel); }
  void AdvanceMs(int64_t ms) { Advance(ms * 10'000); }

 private:
  std::atomic<int64_t> now_;
};

}  // namespace vesk
