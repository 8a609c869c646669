// Capture times from packet arrivals: 10 ms packets whose delivery is
// delayed by 1 to 14 ms, on device clocks off the nominal rate, through a
// held capture thread and a stretch the device did not capture.
#include <gtest/gtest.h>

#include "audio/arrival_clock.h"

namespace vesk {
namespace {

constexpr int64_t kMs = 10'000;  // 100-ns ticks
constexpr size_t kFrames = 480;

struct ClockCase {
  const char* name;
  double deviceRate;  // the rate the device really captures at
  int heldFrom, heldTo;  // packets the capture thread receives only after [heldTo] plus 150 ms
  int skipAt;         // packet before which the device skipped 300 ms (-1: none)
};

TEST(ArrivalClock, StampsEveryPacketAtItsCaptureTimePlusTheShortestDelivery) {
  const ClockCase cases[] = {
      {"JitteryDelivery", 48000, -1, -1, -1},
      {"SlowDeviceClock", 47976, -1, -1, -1},  // 0.05 % slow
      {"FastDeviceClock", 48024, -1, -1, -1},
      {"HeldThread", 48000, 50, 65, -1},
      {"SkippedStretch", 48000, -1, -1, 98},
  };
  // Delivery delays after each packet's last frame; the shortest is 1 ms.
  const int64_t delays[] = {1 * kMs, 6 * kMs, 2 * kMs, 9 * kMs, 1 * kMs + 3'000, 3 * kMs, 14 * kMs};
  for (const ClockCase& c : cases) {
    SCOPED_TRACE(c.name);
    ArrivalClock clock;
    clock.Begin(48000);
    const int64_t t0 = 5'000'000'000;
    auto captured = [&](int k) {
      const int64_t skipped = (c.skipAt >= 0 && k >= c.skipAt) ? 300 * kMs : 0;
      return t0 + int64_t(double(k) * kFrames * 1e7 / c.deviceRate) + skipped;
    };
    const int64_t heldUntil = c.heldTo >= 0 ? captured(c.heldTo) + 160 * kMs : 0;
    for (int k = 0; k < 1000; ++k) {
      int64_t arrival = captured(k + 1) + delays[k % 7];
      if (k >= c.heldFrom && k < c.heldTo) arrival = heldUntil;
      // The server places each packet up to a block late (and has no figure
      // for the first ones).
      const int64_t reported = k < 3 ? 0 : captured(k) + 4 * kMs;
      const int64_t stamp = clock.Stamp(kFrames, arrival, reported);
      ASSERT_NEAR(double(stamp - captured(k)), double(1 * kMs), 0.5 * kMs) << "packet " << k;
    }
  }
}

TEST(ArrivalClock, AServerFigureWithinTheJumpDoesNotMoveTheStamps) {
  // A block-wise source's figure lags by up to a block, never by 50 ms:
  // only a larger step in it starts the bound again.
  ArrivalClock clock;
  clock.Begin(48000);
  const int64_t t0 = 1'000'000'000;
  for (int k = 0; k < 200; ++k) {
    const int64_t captured = t0 + int64_t(k) * 10 * kMs;
    const int64_t stamp = clock.Stamp(kFrames, captured + 11 * kMs, captured + 49 * kMs);
    ASSERT_EQ(stamp, captured + 1 * kMs) << "packet " << k;
  }
}

}  // namespace
}  // namespace vesk
