#pragma once
// Capture times of a stream's frames from when its packets arrive. A packet
// cannot have been captured later than its arrival less its own length, and
// the device captures at its rate, so the earliest such bound seen so far,
// carried on by the stream position, is the capture time of every frame:
// packets that arrive late (a busy machine, a held thread) leave it alone,
// prompt ones sharpen it. It may rise by a thousandth of the time that
// passes, so a device clock a little slower than the nominal rate is
// followed; a faster one lowers the bound by itself.
//
// The server's own figure (a timing report, which a block-wise source makes
// up to a block late) only says when the device did not capture for a while:
// a packet it places more than kJump after the bound starts the bound again.
//
// Threads: the capture thread only.
#include <cstddef>
#include <cstdint>

namespace vesk {

class ArrivalClock {
 public:
  static constexpr int64_t kJump = 500'000;  // 50 ms, in 100-ns ticks

  // Starts over for a stream of `rate` frames per second.
  void Begin(uint32_t rate);
  // The capture time of the first frame of a packet of `frames` frames that
  // follows the previous one in the stream, arrived at `arrival`, and that
  // the server places at `reported` (0 when it has no figure yet).
  int64_t Stamp(size_t frames, int64_t arrival, int64_t reported);

 private:
  int64_t TicksFor(uint64_t frames) const;

  uint32_t rate_ = 0;
  uint64_t position_ = 0;    // frames before the next packet
  int64_t origin_ = 0;       // capture time of position 0 (0 = none yet)
  int64_t lastArrival_ = 0;
};

}  // namespace vesk
