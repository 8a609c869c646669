#pragma once
// Time and frame arithmetic of the recording engine and the pure decisions
// with which the mixer paces production, fills gaps, detects stalls and
// resamples. Times are 100-ns ticks; all integer arithmetic is signed 64-bit
// with division truncating toward zero. None of these functions has state;
// RateGate changes only the credit handed to it.
#include <cstddef>
#include <cstdint>

namespace vesk {

inline constexpr int64_t kTicksPerSecond = 10'000'000;
// Largest batch the mixer hands out, in frames.
inline constexpr int64_t kMaxBatchFrames = 8192;

// trunc(a × b / c) for c > 0 and 0 ≤ b ≤ 2^32, exact wherever the true result
// fits in 64 bits (the product itself may not).
int64_t MulDivTrunc(int64_t a, int64_t b, int64_t c);

// Frames at rate r in a duration of d ticks: trunc(d × r / 10^7).
int64_t Frames(int64_t d, int64_t r);
// Ticks taken by n frames at rate r (r ≥ 1): trunc(n × 10^7 / r).
int64_t FramesToTicks(int64_t n, int64_t r);

// Secondary input frames needed to produce n output frames.
int64_t InputFramesNeeded(int64_t n, double step, double phase);
// Output frames that m input frames can produce.
int64_t OutputFramesAvailable(int64_t m, double step, double phase);

// One source: how many frames may be read so that production stays at most
// 100 ms ahead of the wall clock. The produced amount enters in ticks.
int64_t SingleRoomFrames(int64_t producedTicks, int64_t elapsedTicks, int64_t r);
// One source: ticks of silence owed at `end`, the capture time the timeline
// has reached. With frames waiting (`head` = capture time of the oldest, 0 =
// unknown) it is the stretch before them that the device did not capture,
// when longer than `tolerance`. With an empty ring it is what lies more than
// `lateBound` + `tolerance` behind `now`, filled up to now − lateBound: audio
// that is only late arrives within that bound and follows on without a hole.
int64_t SingleSilenceTicks(bool waiting, int64_t head, int64_t end, int64_t now, int64_t tolerance,
                           int64_t lateBound);
// Start of the timeline from the two head timestamps (0 = none) and now.
int64_t TimelineOrigin(int64_t headM, int64_t headS, int64_t now);
// The main path has delivered nothing for 80 ms.
bool StallDetected(bool newFrames, int64_t nowMs, int64_t lastChangeMs);
// At most 100 ms of frames are dropped from a lagging secondary per step.
int64_t DropLimitFrames(int64_t rate);
int64_t ClampToWallClock(int64_t want, int64_t producedTicks, int64_t elapsedTicks, int64_t budgetTicks, int64_t r,
                         int64_t thresholdTicks);
int64_t BatchDurationCap(int64_t want, int64_t r, int64_t capTicks);
int64_t LeadWithSlip(int64_t lead, int64_t target);
int RateGateDirection(int64_t lead, int64_t target);
// Lets production run at 1.2×, 1.0× or 0.8× wall-clock speed (direction +1,
// 0, −1); credit is in ticks and at most 200 ms. A null credit passes want.
int64_t RateGate(int64_t want, int64_t dt, int direction, int64_t* credit, int64_t r);

// out = main + linearly interpolated in, limited to [-1, 1], for n output
// frames. `in` must hold InputFramesNeeded(n, step, phase) frames.
void ResampleMix(const float* main, const float* in, double step, double phase, int64_t n, int channels,
                 float* out);

}  // namespace vesk
