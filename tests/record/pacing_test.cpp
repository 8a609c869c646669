#include "record/pacing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace vesk {
namespace {

constexpr int64_t kMs = 10'000;  // ticks per millisecond

TEST(FramesTest, TruncatesTowardZeroAndSurvivesProductsBeyond64Bits) {
  struct Case {
    int64_t d, r, frames;
  } cases[] = {
      {10'000'000, 48000, 48000},       {208, 48000, 0},
      {209, 48000, 1},                  {-209, 48000, -1},
      {-15 * kMs, 44100, -661},         {int64_t(1) << 58, 768000, int64_t(22136092888451461)},
  };
  for (const auto& c : cases) EXPECT_EQ(Frames(c.d, c.r), c.frames) << c.d << " " << c.r;
}

TEST(ResamplerBoundsTest, InputNeededAndOutputAvailableMatchTheirDefinitions) {
  struct Case {
    int64_t n;
    double step, phase;
    int64_t need;
  } need[] = {{0, 1.0, 0.0, 0}, {1, 1.0, 0.0, 2}, {8192, 1.0, 0.0, 8193}, {480, 0.91875, 0.5, 442}};
  for (const auto& c : need) EXPECT_EQ(InputFramesNeeded(c.n, c.step, c.phase), c.need) << c.n;

  struct Avail {
    int64_t m;
    double step, phase;
    int64_t out;
  } avail[] = {{0, 1.0, 0.0, 0}, {1, 1.0, 0.0, 0}, {2, 1.0, 0.0, 1}, {2, 1.0, 0.5, 0}, {441, 0.91875, 0.5, 478},
               {8193, 1.0, 0.0, 8192}, {5, 0.0, 0.0, 0}};
  for (const auto& c : avail) EXPECT_EQ(OutputFramesAvailable(c.m, c.step, c.phase), c.out) << c.m;

  // What one side promises the other must deliver, over many steps and phases.
  for (double step : {0.91875, 0.995, 1.0, 1.005, 0.5}) {
    for (double phase : {0.0, 0.25, 0.999}) {
      for (int64_t m = 2; m < 400; m += 7) {
        const int64_t n = OutputFramesAvailable(m, step, phase);
        EXPECT_LE(InputFramesNeeded(n, step, phase), m) << step << " " << phase << " " << m;
      }
    }
  }
}

TEST(SingleSilenceTicksTest, FillsOnlyWhatTheDeviceDidNotCapture) {
  constexpr int64_t end = 100'000'000, tol = 300'000, late = 6'000'000;
  struct Case {
    const char* what;
    bool waiting;
    int64_t head, now, lateBound, ticks;
  } cases[] = {
      {"next frames follow on", true, end + 100'000, end + 9'000'000, late, 0},
      {"next frames after a gap", true, end + 500'000, end + 600'000, late, 500'000},
      {"next frames older than the end", true, end - 1'000'000, end, late, 0},
      {"head unknown", true, 0, end + 9'000'000, late, 0},
      {"nothing yet, still within the late bound", false, 0, end + late + tol, late, 0},
      {"nothing for longer than the late bound", false, 0, end + late + 1'000'000, late, 1'000'000},
      {"after the stop, jitter only", false, 0, end + tol, 0, 0},
      {"after the stop, a stretch missing", false, 0, end + 500'000, 0, 500'000},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SingleSilenceTicks(c.waiting, c.head, end, c.now, tol, c.lateBound), c.ticks) << c.what;
}

TEST(SingleRoomFramesTest, AllowsAtMost100MsLeadMeasuredInTicks) {
  const int64_t elapsed = 3 * 10'000'000;
  const int64_t real = Frames(elapsed, 48000);
  struct Case {
    const char* what;
    int64_t produced, elapsed, r, frames;
  } cases[] = {
      {"level", elapsed, elapsed, 48000, 4800},
      {"100 ms ahead", FramesToTicks(real + 4800, 48000), elapsed, 48000, 0},
      {"1 s behind", elapsed - 10'000'000, elapsed, 48000, 8192},
      {"rate 0", 0, elapsed, 0, 0},
      {"a year behind", 0, int64_t(365) * 86400 * 10'000'000, 48000, 8192},
  };
  for (const auto& c : cases) EXPECT_EQ(SingleRoomFrames(c.produced, c.elapsed, c.r), c.frames) << c.what;
  // Frames where ticks belong: 150,000 "ticks" look 15 ms old, letting a full
  // batch through although production is already 100 ms ahead.
  EXPECT_EQ(SingleRoomFrames(real + 4800, elapsed, 48000), 8192);
}

TEST(TimelineOriginTest, TakesTheEarlierHeadOrNow) {
  struct Case {
    int64_t m, s, origin;
  } cases[] = {{100, 50, 50}, {50, 100, 50}, {0, 100, 100}, {100, 0, 100}, {0, 0, 999}};
  for (const auto& c : cases) EXPECT_EQ(TimelineOrigin(c.m, c.s, 999), c.origin) << c.m << " " << c.s;
}

TEST(StallDetectedTest, Needs80MsWithoutNewFrames) {
  const int64_t last = 1'000'000;
  struct Case {
    bool fresh;
    int64_t now, last;
    bool stalled;
  } cases[] = {{true, last + 500, last, false},     {false, last + 79, last, false},
               {false, last + 80, last, true},      {false, last + 18'500, last, true},
               {false, last + 18'500, 0, false}};
  for (const auto& c : cases) EXPECT_EQ(StallDetected(c.fresh, c.now, c.last), c.stalled) << c.now - c.last;
}

TEST(DropLimitFramesTest, IsATenthOfASecond) {
  EXPECT_EQ(DropLimitFrames(48000), 4800);
  EXPECT_EQ(DropLimitFrames(44100), 4410);
  EXPECT_EQ(DropLimitFrames(0), 0);
}

TEST(ClampToWallClockTest, LimitsTheBatchToTheRoomLeft) {
  struct Case {
    const char* what;
    int64_t want, produced, elapsed, budget, r, frames;
  } cases[] = {
      {"first batch", 8192, 0, 0, 200 * kMs, 48000, 8192},
      {"170 ms ahead", 8192, 1170 * kMs, 1000 * kMs, 200 * kMs, 48000, 1440},
      {"room 80 ms", 8192, 0, 0, 80 * kMs, 48000, 3840},
      {"room 80 ms at 44.1 kHz", 8192, 0, 0, 80 * kMs, 44100, 3528},
      {"room 10 ms", 8192, 0, 0, 10 * kMs, 48000, 0},
      {"room exactly 20 ms", 8192, 0, 0, 20 * kMs, 48000, 960},
      {"rate 0", 8192, 0, 0, 200 * kMs, 0, 0},
      {"want below room", 100, 0, 0, 200 * kMs, 48000, 100},
      {"negative room", 8192, 900 * kMs, 0, 200 * kMs, 48000, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ClampToWallClock(c.want, c.produced, c.elapsed, c.budget, c.r, 20 * kMs), c.frames) << c.what;
}

TEST(BatchDurationCapTest, CapsAt40Ms) {
  struct Case {
    int64_t want, r, cap, frames;
  } cases[] = {{8192, 48000, 40 * kMs, 1920}, {8192, 44100, 40 * kMs, 1764}, {480, 48000, 40 * kMs, 480},
               {1920, 48000, 40 * kMs, 1920}, {2304, 48000, 40 * kMs, 1920}, {2304, 0, 40 * kMs, 2304},
               {2304, 48000, 0, 2304}};
  for (const auto& c : cases) EXPECT_EQ(BatchDurationCap(c.want, c.r, c.cap), c.frames) << c.want << " " << c.r;
}

TEST(LeadTest, SlipAndDirectionFollowTheTarget) {
  EXPECT_EQ(LeadWithSlip(200 * kMs, 25 * kMs), 240 * kMs);
  EXPECT_EQ(LeadWithSlip(25 * kMs, 200 * kMs), 240 * kMs);
  const int64_t target = 200 * kMs;
  EXPECT_EQ(RateGateDirection(target - 10 * kMs, target), 0);
  EXPECT_EQ(RateGateDirection(target + 10 * kMs, target), 0);
  EXPECT_EQ(RateGateDirection(target - 10 * kMs - 1, target), +1);
  EXPECT_EQ(RateGateDirection(target + 10 * kMs + 1, target), -1);
}

TEST(RateGateTest, ReleasesFramesAtTheChosenMultipleOfWallTime) {
  struct Case {
    int direction;
    int64_t total;
  } cases[] = {{0, 48000}, {+1, 57600}, {-1, 38016}};
  for (const auto& c : cases) {
    int64_t credit = 0;
    int64_t total = 0;
    for (int i = 0; i < 100; ++i) total += RateGate(8192, 10 * kMs, c.direction, &credit, 48000);
    EXPECT_EQ(total, c.total) << c.direction;
  }
}

TEST(RateGateTest, HandlesGapsSmallCreditAndMissingInputs) {
  int64_t credit = 0;
  // A long pause earns at most 200 ms.
  EXPECT_EQ(RateGate(100'000, 5 * 10'000'000, 0, &credit, 48000), 9600);
  EXPECT_EQ(credit, 0);

  // A credit that stays under 20 ms gives nothing and survives.
  credit = 5 * kMs;
  EXPECT_EQ(RateGate(8192, 10 * kMs, 0, &credit, 48000), 0);
  EXPECT_EQ(credit, 15 * kMs);

  credit = 100 * kMs;
  EXPECT_EQ(RateGate(480, 0, 0, &credit, 48000), 480);
  EXPECT_EQ(credit, 90 * kMs);

  credit = 123;
  EXPECT_EQ(RateGate(777, 10 * kMs, 0, &credit, 0), 777);
  EXPECT_EQ(credit, 123);
  EXPECT_EQ(RateGate(777, 10 * kMs, 0, nullptr, 48000), 777);

  credit = 0;
  EXPECT_EQ(RateGate(8192, 20 * kMs, +1, &credit, 48000), 1152);
}

TEST(ResampleMixTest, StepOneAtPhaseZeroReproducesTheInput) {
  const int ch = 2;
  std::vector<float> in(2 * 101), main(2 * 100, 0.0f), out(2 * 100);
  for (size_t i = 0; i < in.size(); ++i) in[i] = float(std::sin(double(i) * 0.37)) * 0.9f;
  ResampleMix(main.data(), in.data(), 1.0, 0.0, 100, ch, out.data());
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], in[i]) << i;
}

TEST(ResampleMixTest, AddsMainInterpolatesAndLimits) {
  const float in[] = {0.0f, 1.0f, -1.0f};
  const float main[] = {0.5f, 0.75f, -0.5f};
  float out[3];
  ResampleMix(main, in, 0.5, 0.5, 3, 1, out);
  // positions 0.5, 1.0, 1.5
  EXPECT_FLOAT_EQ(out[0], 1.0f);   // 0.5 + 0.5
  EXPECT_FLOAT_EQ(out[1], 1.0f);   // 0.75 + 1 limited
  EXPECT_FLOAT_EQ(out[2], -0.5f);  // -0.5 + 0 = -0.5
}

// A 1 kHz tone at 44.1 kHz taken in uneven batches with the carry-over the
// mixer uses comes out at 48 kHz with the same pitch and amplitude.
TEST(ResampleMixTest, BatchedResamplingWithCarryOverKeepsPitchAndAmplitude) {
  const double step = 44100.0 / 48000.0;
  const int64_t total = 48000;
  std::vector<float> source(50000);
  for (size_t i = 0; i < source.size(); ++i) source[i] = float(0.5 * std::sin(2 * std::numbers::pi * 1000.0 * double(i) / 44100.0));
  std::vector<float> buffer(10000), out(total), silent(2000, 0.0f);
  size_t next = 0;
  int64_t pending = 0;
  double phase = 0;
  int64_t done = 0;
  const int64_t batches[] = {480, 1920, 7, 1000, 333};
  for (int b = 0; done < total; ++b) {
    const int64_t n = std::min<int64_t>(batches[b % 5], total - done);
    const int64_t need = InputFramesNeeded(n, step, phase);
    for (int64_t i = pending; i < need; ++i) buffer[size_t(i)] = source[next++];
    const int64_t filled = std::max(need, pending);
    ResampleMix(silent.data(), buffer.data(), step, phase, n, 1, out.data() + done);
    const double pos = double(n) * step + phase;
    const int64_t used = std::min<int64_t>(int64_t(std::floor(pos)), need);
    std::copy(buffer.begin() + used, buffer.begin() + filled, buffer.begin());
    pending = filled - used;
    phase = pos - double(used);
    done += n;
  }
  for (int64_t i = 0; i < total; ++i) {
    const double ideal = 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * double(i) / 48000.0);
    ASSERT_NEAR(out[size_t(i)], ideal, 0.004) << i;
  }
}

}  // namespace
}  // namespace vesk
