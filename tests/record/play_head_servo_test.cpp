#include "record/play_head_servo.h"

#include <gtest/gtest.h>

#include <vector>

namespace vesk {
namespace {

constexpr int64_t kMs = 10'000;

TEST(PointerCandidateTest, ExtrapolatesAtMost120MsPastTheLastBatch) {
  const int64_t anchor = 1'000'000'000;
  struct Case {
    const char* what;
    int64_t anchorTime, now, rate, candidate;
  } cases[] = {
      {"no anchor", 0, anchor, 48000, 10000},
      {"at the anchor", anchor, anchor, 48000, 10000},
      {"5 ms", anchor, anchor + 5 * kMs, 48000, 10240},
      {"10 ms", anchor, anchor + 10 * kMs, 48000, 10480},
      {"80 ms", anchor, anchor + 80 * kMs, 48000, 13840},
      {"200 ms", anchor, anchor + 200 * kMs, 48000, 15760},
      {"before the anchor", anchor, anchor - 5 * kMs, 48000, 10000},
      {"rate 0", anchor, anchor + 5 * kMs, 0, 10000},
  };
  for (const auto& c : cases) EXPECT_EQ(PointerCandidate(10000, c.anchorTime, c.now, c.rate), c.candidate) << c.what;
}

TEST(NominalStepTest, IsTheWallTimeInFramesUpTo500Ms) {
  EXPECT_EQ(NominalStep(33 * kMs, 48000), 1584);
  EXPECT_EQ(NominalStep(0, 48000), 0);
  EXPECT_EQ(NominalStep(33 * kMs, 0), 0);
  EXPECT_EQ(NominalStep(10 * 10'000'000, 48000), 24000);
}

TEST(ServoStepTest, MovesByTheNominalStepWithinItsLimits) {
  const int64_t budget = 5760;
  struct Case {
    const char* what;
    int64_t displayed, candidate, nominal, next;
  } cases[] = {
      {"in phase", 10000, 10000, 1584, 11584},
      {"candidate far ahead", 10000, 90000, 1584, 11821},
      {"candidate 1000 behind", 10000, 9000, 1584, 11346},
      {"already 120 ms ahead", 10000 + budget, 10000, 1584, 10000 + budget},
      {"beyond 120 ms ahead", 20000, 10000, 1584, 20000},
      {"nominal 0", 10000, 90000, 0, 10000},
  };
  for (const auto& c : cases) EXPECT_EQ(ServoStep(c.displayed, c.candidate, c.nominal, budget), c.next) << c.what;
}

struct ServoRig {
  ManualClock clock;
  PlayHeadServo servo{clock};
  std::vector<float> batch = std::vector<float>(480 * 2, 0.25f);
  ServoRig() { servo.Reset(); }
};

// Batches of 480 frames every 10 ms, repaints every 33 ms.
TEST(PlayHeadServoTest, DisplayAdvancesEvenlyWhileBatchesArriveInSteps) {
  ServoRig rig;
  int64_t nextBatch = 0, nextRepaint = 0, lastWritten = 0, lastDisplayed = 0;
  bool caughtUp = false;
  for (int64_t t = 0; t < 3000; ++t) {  // milliseconds
    if (t == nextBatch) {
      rig.servo.Feed(rig.batch.data(), 480, 2);
      nextBatch += 10;
    }
    if (t == nextRepaint) {
      const int64_t displayed = rig.servo.Repaint(48000);
      const int64_t written = rig.servo.AnchorFrames();
      if (t > 0) {
        const int64_t moved = displayed - lastDisplayed;
        EXPECT_TRUE(written - lastWritten == 1440 || written - lastWritten == 1920) << t;
        EXPECT_GE(moved, 0);
        EXPECT_LE(moved, caughtUp ? 1584 : 1821) << t;
        if (caughtUp) {
          EXPECT_EQ(moved, 1584) << t;
        }
        if (t > 1000) caughtUp = true;
      }
      lastWritten = written;
      lastDisplayed = displayed;
      nextRepaint += 33;
    }
    rig.clock.AdvanceMs(1);
  }
  EXPECT_EQ(rig.servo.BackCount(), 0);
}

TEST(PlayHeadServoTest, FrozenCandidateStopsExactly120MsAhead) {
  ServoRig rig;
  rig.servo.Feed(rig.batch.data(), 480, 2);
  rig.clock.AdvanceMs(33);
  int64_t previous = rig.servo.Repaint(48000);
  // From here the candidate is frozen at 480 + 5760 (120 ms of extrapolation).
  int64_t moves = 0;
  for (int i = 0; i < 60; ++i) {
    rig.clock.AdvanceMs(33);
    const int64_t displayed = rig.servo.Repaint(48000);
    if (previous > 480 + 5760 && displayed != previous) {
      EXPECT_TRUE(displayed - previous == 1346 || displayed == 480 + 5760 + 5760) << i;
    }
    moves += displayed != previous;
    previous = displayed;
  }
  EXPECT_EQ(previous, 480 + 5760 + 5760);
  EXPECT_GT(moves, 0);
}

TEST(PlayHeadServoTest, FallingCandidateIsCountedAndTheDisplayHolds) {
  ServoRig rig;
  rig.servo.Feed(rig.batch.data(), 480, 2);
  rig.clock.AdvanceMs(100);
  const int64_t before = rig.servo.Repaint(48000);  // candidate 480 + 4800
  rig.servo.Feed(rig.batch.data(), 480, 2);          // re-anchored at 960
  rig.clock.AdvanceMs(1);
  const int64_t after = rig.servo.Repaint(48000);
  EXPECT_EQ(rig.servo.BackCount(), 1);
  EXPECT_EQ(rig.servo.BackMaximum(), 5280 - 1008);
  EXPECT_GE(after, before);
}

TEST(PlayHeadServoTest, ColumnsHoldMinimaAndMaximaPerLane) {
  ServoRig rig;
  std::vector<float> stereo(1024 * 2);
  for (size_t i = 0; i < 1024; ++i) {
    stereo[2 * i] = float(i % 512) / 512.0f - 0.5f;  // -0.5 .. just under 0.5
    stereo[2 * i + 1] = i == 700 ? 2.0f : -0.25f;    // out of range is limited
  }
  rig.servo.Feed(stereo.data(), 1000, 2);  // one full column, the next incomplete
  EXPECT_EQ(rig.servo.ColumnCount(), 1);
  rig.servo.Feed(stereo.data() + 2000, 24, 2);
  ASSERT_EQ(rig.servo.ColumnCount(), 2);
  const WaveColumn first = rig.servo.Column(0);
  EXPECT_EQ(first.minLeft, int16_t(-0.5f * 32767));
  EXPECT_EQ(first.maxLeft, int16_t((511.0f / 512.0f - 0.5f) * 32767));
  EXPECT_EQ(first.minRight, int16_t(-0.25f * 32767));
  EXPECT_EQ(first.maxRight, int16_t(-0.25f * 32767));
  EXPECT_EQ(rig.servo.Column(1).maxRight, 32767);

  std::vector<float> mono(512, -1.0f);
  rig.servo.Feed(mono.data(), 512, 1);
  const WaveColumn third = rig.servo.Column(2);
  EXPECT_EQ(third.minLeft, -32767);
  EXPECT_EQ(third.minRight, -32767);
  EXPECT_EQ(rig.servo.AnchorFrames(), 1536);

  rig.servo.Reset();
  EXPECT_EQ(rig.servo.ColumnCount(), 0);
  EXPECT_EQ(rig.servo.AnchorFrames(), 0);
  EXPECT_EQ(rig.servo.AnchorTime(), 0);
}

}  // namespace
}  // namespace vesk
