#include "record/time_source.h"

#include "platform/clock.h"

namespace vesk {

namespace {
class SystemTimeSource final : public TimeSource {
 public:
  int64_t Now100ns() const override { return vesk::Now100ns(); }
  uint64_t TickMs() const override { return vesk::TickMs(); }
};
}  // namespace

const TimeSource& SystemTime() {
  static const SystemTimeSource source;
  return source;
}

}  // namespace vesk
