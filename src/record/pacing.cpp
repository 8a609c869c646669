#include "record/pacing.h"

#include <algorithm>
#include <cmath>

namespace vesk {

int64_t MulDivTrunc(int64_t a, int64_t b, int64_t c) {
  // a = q·c + r with |r| < c; q·b and r·b/c share a's sign, so truncating the
  // two parts separately equals truncating the sum, and r·b stays small.
  const int64_t q = a / c;
  const int64_t r = a % c;
  return q * b + (r * b) / c;
}

int64_t Frames(int64_t d, int64_t r) { return MulDivTrunc(d, r, kTicksPerSecond); }

int64_t FramesToTicks(int64_t n, int64_t r) { return r < 1 ? 0 : MulDivTrunc(n, kTicksPerSecond, r); }

int64_t InputFramesNeeded(int64_t n, double step, double phase) {
  if (n == 0) return 0;
  return int64_t(std::floor(double(n - 1) * step + phase)) + 2;
}

int64_t OutputFramesAvailable(int64_t m, double step, double phase) {
  if (m < 2 || !(step > 0)) return 0;
  const double x = (double(m) - 2 - phase) / step + 1;
  if (x < 1) return 0;
  return int64_t(std::floor(x));
}

int64_t SingleRoomFrames(int64_t producedTicks, int64_t elapsedTicks, int64_t r) {
  const int64_t room = elapsedTicks - producedTicks + 1'000'000;
  const int64_t f = Frames(std::min<int64_t>(room, 600'000'000), r);
  if (r < 1 || room < 1 || f < 1) return 0;
  return std::min<int64_t>(f, kMaxBatchFrames);
}

int64_t SingleSilenceTicks(bool waiting, int64_t head, int64_t end, int64_t now, int64_t tolerance,
                           int64_t lateBound) {
  if (waiting) return (head != 0 && head - end > tolerance) ? head - end : 0;
  const int64_t behind = now - lateBound - end;
  return behind > tolerance ? behind : 0;
}

int64_t TimelineOrigin(int64_t headM, int64_t headS, int64_t now) {
  if (headM == 0) return headS != 0 ? headS : now;
  if (headS == 0) return headM;
  return std::min(headM, headS);
}

bool StallDetected(bool newFrames, int64_t nowMs, int64_t lastChangeMs) {
  if (newFrames || lastChangeMs == 0) return false;
  return nowMs - lastChangeMs >= 80;
}

int64_t DropLimitFrames(int64_t rate) { return rate < 1 ? 0 : rate * 100 / 1000; }

int64_t ClampToWallClock(int64_t want, int64_t producedTicks, int64_t elapsedTicks, int64_t budgetTicks, int64_t r,
                         int64_t thresholdTicks) {
  const int64_t room = elapsedTicks - producedTicks + budgetTicks;
  const int64_t f = Frames(std::min<int64_t>(room, 600'000'000), r);
  if (r < 1 || room < thresholdTicks || f < 1) return 0;
  return std::min(want, f);
}

int64_t BatchDurationCap(int64_t want, int64_t r, int64_t capTicks) {
  const int64_t f = Frames(capTicks, r);
  if (r < 1 || capTicks < 1 || f < 1) return want;
  return std::min(want, f);
}

int64_t LeadWithSlip(int64_t lead, int64_t target) { return std::max(lead, target) + 400'000; }

int RateGateDirection(int64_t lead, int64_t target) {
  if (lead < target - 100'000) return +1;
  if (lead > target + 100'000) return -1;
  return 0;
}

int64_t RateGate(int64_t want, int64_t dt, int direction, int64_t* credit, int64_t r) {
  if (credit == nullptr || r < 1) return want;
  int64_t inc = std::max<int64_t>(dt, 0);
  if (direction > 0) {
    inc += inc / 5;
  } else if (direction < 0) {
    inc -= inc / 5;
  }
  *credit += inc;
  if (*credit > 2'000'000) {
    *credit = 2'000'000;
  } else if (*credit < 200'000) {
    return 0;
  }
  const int64_t f = Frames(*credit, r);
  if (f < 1) return 0;
  const int64_t n = std::min(f, want);
  *credit = std::max<int64_t>(*credit - FramesToTicks(n, r), 0);
  return n;
}

void ResampleMix(const float* main, const float* in, double step, double phase, int64_t n, int channels,
                 float* out) {
  for (int64_t i = 0; i < n; ++i) {
    const double p = double(i) * step + phase;
    const double k = std::floor(p);
    const double f = p - k;
    const float* a = in + int64_t(k) * channels;
    const float* b = a + channels;
    for (int c = 0; c < channels; ++c) {
      const double v = double(main[i * channels + c]) + double(a[c]) + (double(b[c]) - double(a[c])) * f;
      out[i * channels + c] = float(std::clamp(v, -1.0, 1.0));
    }
  }
}

}  // namespace vesk
