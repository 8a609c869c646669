#include "record/source_mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

#include "record/mixer_rig.h"

namespace vesk {
namespace {

using test::kMs;
using test::MixRig;

// ---- Start ---------------------------------------------------------------

struct StartCase {
  const char* what;
  uint32_t micRate, loopRate;
  bool useMic, useLoop;
  bool failMic, failLoop;
  const char* streamText;
  const char* error;
};

class MixerStartFailureTest : public testing::TestWithParam<StartCase> {};

TEST_P(MixerStartFailureTest, ReportsTheErrorAndLeavesNothingRunning) {
  const StartCase& c = GetParam();
  MixRig rig(c.micRate, c.loopRate);
  if (c.failMic) rig.mic.FailNextStart(c.streamText);
  if (c.failLoop) rig.loop.FailNextStart(c.streamText);
  std::string error;
  EXPECT_FALSE(rig.Start(c.useMic, c.useLoop, 2, &error));
  EXPECT_EQ(error, c.error);
  EXPECT_FALSE(rig.mixer.IsRunning());
  EXPECT_FALSE(rig.mic.IsRunning());
  EXPECT_FALSE(rig.loop.IsRunning());
  rig.Tick(100);
  EXPECT_EQ(rig.PullOnce(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MixerStartFailureTest,
    testing::Values(
        StartCase{"no source", 48000, 48000, false, false, false, false, "", "没有选择任何声音来源。"},
        StartCase{"microphone fails with its text", 48000, 48000, true, true, true, false, "打开所选录音设备 失败。",
                  "打开所选录音设备 失败。"},
        StartCase{"microphone fails silently", 48000, 48000, true, false, true, false, "", "打不开录音设备。"},
        StartCase{"loopback fails silently", 48000, 48000, true, true, false, true, "", "打不开播放设备。"},
        StartCase{"single source without rate", 0, 48000, true, false, false, false, "", "设备没有报告有效的采样率。"},
        StartCase{"main without rate", 48000, 0, false, true, false, false, "", "设备没有报告有效的采样率。"},
        StartCase{"secondary without rate", 48000, 0, true, true, false, false, "", "设备没有报告有效的采样率。"}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p) name += std::isalnum((unsigned char)*p) ? *p : '_';
      return name;
    });

struct RoleCase {
  uint32_t micRate, loopRate;
  bool useMic, useLoop;
  bool micMain;
  uint32_t outputRate;
  double nominal;
};

class MixerRoleTest : public testing::TestWithParam<RoleCase> {};

TEST_P(MixerRoleTest, HigherRateLeadsAndTheOtherIsResampled) {
  const RoleCase& c = GetParam();
  MixRig rig(c.micRate, c.loopRate);
  ASSERT_TRUE(rig.Start(c.useMic, c.useLoop));
  EXPECT_EQ(rig.mixer.Format().sampleRate, c.outputRate);
  EXPECT_DOUBLE_EQ(rig.mixer.NominalStep(), c.nominal);
  EXPECT_DOUBLE_EQ(rig.mixer.Step(), c.nominal);
  if (c.useMic && c.useLoop) {
    EXPECT_EQ(rig.mixer.MainIsMicrophone(), c.micMain);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MixerRoleTest,
                         testing::Values(RoleCase{44100, 48000, true, true, false, 48000, 0.91875},
                                         RoleCase{48000, 48000, true, true, true, 48000, 1.0},
                                         RoleCase{48000, 44100, true, true, true, 48000, 0.91875},
                                         RoleCase{96000, 48000, true, true, true, 96000, 0.5},
                                         RoleCase{44100, 48000, true, false, true, 44100, 1.0},
                                         RoleCase{44100, 48000, false, true, false, 48000, 1.0}),
                         [](const auto& info) {
                           const RoleCase& c = info.param;
                           return std::string(c.useMic ? "Mic" + std::to_string(c.micRate) : "") +
                                  (c.useLoop ? "Loop" + std::to_string(c.loopRate) : "");
                         });

TEST(SourceMixerTest, FormatTakesChannelsAndBitsFromTheRequest) {
  struct Case {
    uint16_t channels, bits, outChannels, outBits;
  } cases[] = {{1, 24, 1, 24}, {2, 32, 2, 32}, {6, 16, 2, 16}, {2, 8, 2, 16}, {0, 20, 2, 16}};
  for (const auto& c : cases) {
    MixRig rig;
    std::string error;
    ASSERT_TRUE(rig.mixer.Start("mic", false, "", false, c.channels, 0, c.bits, error));
    EXPECT_EQ(rig.mixer.Format(), (AudioFormat{48000, c.outChannels, c.outBits}));
    EXPECT_EQ(rig.mic.Channels(), c.outChannels);
  }
}

TEST(SourceMixerTest, SecondStartWhileRunningIsRefused) {
  MixRig rig;
  ASSERT_TRUE(rig.Start(true, false));
  std::string error;
  EXPECT_FALSE(rig.mixer.Start("mic", false, "", false, 2, 0, 16, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(rig.mixer.IsRunning());
  EXPECT_TRUE(rig.mic.IsRunning());
}

// ---- One source ----------------------------------------------------------

TEST(SingleSourceMixerTest, LoopbackWithoutPacketsFillsSilenceAndEndsAtTheStop) {
  MixRig rig;
  rig.loopScript.enabled = false;  // nothing plays: no packets at all
  ASSERT_TRUE(rig.Start(false, true));
  rig.Run(5000);
  int64_t first = -1;
  for (const auto& b : rig.batches) {
    if (b.frames == 0) continue;
    if (first < 0) first = b.time - rig.start;
    // Silence stands in for audio only once it can no longer be merely late.
    EXPECT_LE(b.real - b.produced, 640 * 48) << b.time - rig.start;
    EXPECT_GE(b.real - b.produced, 600 * 48) << b.time - rig.start;
  }
  EXPECT_GE(first, 630 * kMs);
  EXPECT_LE(first, 640 * kMs);
  rig.mixer.Stop();
  rig.Drain();
  EXPECT_TRUE(std::all_of(rig.recorded.begin(), rig.recorded.end(), [](float v) { return v == 0.0f; }));
  EXPECT_NEAR(double(rig.mixer.Produced()), double(Frames(rig.clock.Now100ns() - rig.start, 48000)), 2);
  EXPECT_EQ(rig.CountLines("LEAD-OVER"), 0);
}

TEST(SingleSourceMixerTest, SteadySourcePassesEveryFrameOnceAndInOrder) {
  for (uint16_t channels : {1, 2}) {
    MixRig rig(44100, 48000);
    // Frame k carries (k+1) / 2^18 on the left and its negative on the right.
    rig.micScript.signal = [](int64_t k, int c) { return float(k + 1) / 262144.0f * (c == 0 ? 1.0f : -1.0f); };
    ASSERT_TRUE(rig.Start(true, false, channels));
    rig.Run(2000);
    rig.mixer.Stop();
    const auto sizes = rig.Drain();
    EXPECT_EQ(sizes.back(), 0u);
    ASSERT_EQ(rig.recorded.size() % channels, 0u);
    const size_t frames = rig.recorded.size() / channels;
    EXPECT_EQ(int64_t(frames), rig.micScript.sent);
    for (size_t k = 0; k < frames; ++k) {
      ASSERT_EQ(rig.recorded[k * channels], float(k + 1) / 262144.0f) << k;
      if (channels == 2) {
        ASSERT_EQ(rig.recorded[k * 2 + 1], -float(k + 1) / 262144.0f) << k;
      }
    }
  }
}

TEST(SingleSourceMixerTest, QuietSourceIsFilledAndResumesWithoutLosingFrames) {
  MixRig rig;
  rig.micScript.signal = [](int64_t k, int) { return float(k + 1) / 262144.0f; };
  rig.micScript.quiet = {{500 * kMs, 1500 * kMs}};
  ASSERT_TRUE(rig.Start(true, false, 1));
  rig.Run(2500);
  // Production followed the clock through the gap.
  for (const auto& b : rig.batches) EXPECT_LE(b.produced - b.real, 4800);
  const auto& last = rig.batches.back();
  EXPECT_NEAR(double(last.produced), double(last.real), 4800 + 480);
  // Every delivered frame is there once, in order, with only silence between.
  float expect = 1;
  for (float v : rig.recorded) {
    if (v == 0.0f) continue;
    ASSERT_EQ(v, expect / 262144.0f);
    expect += 1;
  }
  EXPECT_EQ(int64_t(expect) - 1, rig.micScript.sent - int64_t(rig.mixer.MainPathFrames()));
}

struct LateCase {
  int64_t heldMs;
  int64_t lateDrops;
  bool twoSources;  // the held source is the main path beside a silent loopback
};

class SourceLateTest : public testing::TestWithParam<LateCase> {};

// The microphone's capture thread is held from 1 s on and then hands over
// everything at once, stamped with its capture times: up to the late bound
// every frame follows its predecessor without silence between them, beyond
// it the stretch silence already stood in for is dropped and counted. Either
// way the take ends on the wall clock.
TEST_P(SourceLateTest, LateAudioFollowsOnInOrderAndTheTimelineCatchesUp) {
  MixRig rig;
  rig.micScript.signal = [](int64_t k, int) { return float(k + 1) / 262144.0f; };
  rig.micScript.held = {{1000 * kMs, (1000 + GetParam().heldMs) * kMs}};
  ASSERT_TRUE(rig.Start(true, GetParam().twoSources, 1));
  rig.Run(3000);
  rig.mixer.Stop();
  rig.Drain();
  float last = 0;
  bool silence = false;
  for (float v : rig.recorded) {
    if (v == 0.0f) {
      silence = silence || last != 0;
      continue;
    }
    ASSERT_GT(v, last);
    // Without a drop every frame follows its predecessor.
    if (GetParam().lateDrops == 0) {
      ASSERT_EQ(v, last == 0 ? v : last + 1 / 262144.0f);
    }
    last = v;
  }
  EXPECT_EQ(silence, GetParam().lateDrops > 0);
  EXPECT_EQ(rig.mixer.LateDrops(), GetParam().lateDrops);
  EXPECT_EQ(rig.CountLines("[mix] LATE "), GetParam().lateDrops);
  // It ends with the last frame captured (its packet and latency ago).
  EXPECT_NEAR(double(rig.mixer.Produced()), double(Frames(rig.clock.Now100ns() - rig.start, 48000)), 30 * 48);
}

INSTANTIATE_TEST_SUITE_P(Holds, SourceLateTest,
                         testing::Values(LateCase{150, 0, false}, LateCase{500, 0, false}, LateCase{900, 1, false},
                                         LateCase{150, 0, true}, LateCase{500, 0, true}, LateCase{900, 1, true}),
                         [](const auto& info) {
                           return std::string(info.param.twoSources ? "Main" : "Single") + "Held" +
                                  std::to_string(info.param.heldMs) + "Ms";
                         });

TEST(SingleSourceMixerTest, DrainsAfterStopInFullBatchesWithoutWaiting) {
  MixRig rig;
  ASSERT_TRUE(rig.Start(true, false));
  std::vector<float> block(20000 * 2, 0.5f);
  rig.mic.Push(block.data(), 20000, rig.clock.Now100ns());
  rig.mixer.Stop();
  EXPECT_EQ(rig.Drain(), (std::vector<size_t>{8192, 8192, 3616, 0}));
  EXPECT_EQ(rig.mixer.MainPathFrames(), 0u);
  EXPECT_EQ(rig.PullOnce(), 0u);
}

// ---- Two sources ---------------------------------------------------------

double LeftRms(const std::vector<float>& v, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(v[2 * i]) * v[2 * i];
  return std::sqrt(sum / double(to - from));
}

TEST(TwoSourceMixerTest, MicrophoneAt44kIsResampledOntoTheLoopbackTimeline) {
  MixRig rig(44100, 48000);
  rig.micScript.signal = [](int64_t k, int) { return float(0.5 * std::sin(2 * std::numbers::pi * 1000.0 * double(k) / 44100.0)); };
  rig.micScript.latency = 20 * kMs;
  ASSERT_TRUE(rig.Start(true, true));
  rig.Run(3000);
  EXPECT_FALSE(rig.mixer.MainIsMicrophone());
  EXPECT_TRUE(rig.mixer.Aligned());
  EXPECT_EQ(rig.CountLines("[mix] ANCHOR latM=100000 latS=200000 holdF=480"), 1);
  const auto& v = rig.recorded;
  const size_t from = 24000, to = 120000;  // 0.5 s .. 2.5 s
  ASSERT_GT(v.size() / 2, to);
  int crossings = 0;
  float peak = 0, jump = 0;
  for (size_t i = from; i < to; ++i) {
    peak = std::max(peak, std::abs(v[2 * i]));
    jump = std::max(jump, std::abs(v[2 * i + 2] - v[2 * i]));
    crossings += (v[2 * i] < 0) != (v[2 * i + 2] < 0);
    ASSERT_EQ(v[2 * i], v[2 * i + 1]);
  }
  EXPECT_NEAR(crossings / 2.0, 1000.0 * 2.0, 20.0);  // 1 kHz over 2 s
  EXPECT_NEAR(peak, 0.5, 0.005);
  EXPECT_NEAR(LeftRms(v, from, to), 0.5 / std::sqrt(2.0), 0.005);
  // The largest sample-to-sample change of a 0.5 × 1 kHz sine at 48 kHz is
  // 0.065; a seam between batches would show as a larger jump.
  EXPECT_LT(jump, 0.07f);
}

struct DriftCase {
  double speed;
  double stepAtEnd;  // 0: only the range is checked
  int64_t seconds;
};

class TwoSourceDriftTest : public testing::TestWithParam<DriftCase> {};

TEST_P(TwoSourceDriftTest, StepStaysWithinHalfAPercent) {
  MixRig rig;
  rig.keepAudio = false;
  rig.loopScript.speed = GetParam().speed;
  double low = 1, high = 1;
  rig.onPull = [&](size_t) {
    low = std::min(low, rig.mixer.Step());
    high = std::max(high, rig.mixer.Step());
  };
  ASSERT_TRUE(rig.Start(true, true));
  rig.Run(GetParam().seconds * 1000);
  EXPECT_GE(low, 0.995);
  EXPECT_LE(high, 1.005);
  if (GetParam().stepAtEnd != 0) {
    EXPECT_DOUBLE_EQ(rig.mixer.Step(), GetParam().stepAtEnd);
  }
  const auto& last = rig.batches.back();
  EXPECT_NEAR(double(last.produced), double(last.real), 48000 * 0.25);
}

INSTANTIATE_TEST_SUITE_P(Speeds, TwoSourceDriftTest,
                         testing::Values(DriftCase{1.003, 0, 60}, DriftCase{0.997, 0, 60},
                                         DriftCase{1.02, 1.005, 200}, DriftCase{0.98, 0, 60}),
                         [](const auto& info) {
                           return "SecondaryAt" + std::to_string(int(std::lround(info.param.speed * 1000))) +
                                  "PerMille";
                         });

TEST(TwoSourceMixerTest, SilentMicrophoneDoesNotStopTheTimeline) {
  MixRig rig;
  rig.micScript.signal = [](int64_t, int) { return 0.5f; };
  rig.loopScript.signal = [](int64_t, int) { return 0.25f; };
  rig.micScript.quiet = {{1000 * kMs, 19000 * kMs}};
  ASSERT_TRUE(rig.Start(true, true));
  ASSERT_TRUE(rig.mixer.MainIsMicrophone());
  rig.Run(19500);
  int64_t lastProduction = 0, longestGap = 0, largest = 0;
  for (const auto& b : rig.batches) {
    if (b.frames == 0) continue;
    const int64_t at = b.time - rig.start;
    // The microphone may be merely late until 600 ms after its last packet.
    if (at > 1700 * kMs && at < 19000 * kMs) {
      longestGap = std::max(longestGap, b.time - lastProduction);
      EXPECT_LE(b.produced - b.real, 48000 * 30 / 1000 + 1920) << at;
    }
    lastProduction = b.time;
    largest = std::max(largest, b.frames);
  }
  EXPECT_LT(longestGap, 100 * kMs);
  EXPECT_LE(largest, 1920);
  const auto& last = rig.batches.back();
  EXPECT_NEAR(double(last.produced), double(last.real), 48000 * 0.25);
  // In the middle of the silence the file carries the loopback alone.
  const auto& v = rig.recorded;
  for (size_t i = 48000 * 5; i < 48000 * 15; ++i) ASSERT_FLOAT_EQ(v[2 * i], 0.25f) << i;
}

TEST(TwoSourceMixerTest, SilentLoopbackLeavesTheMicrophoneAtWallClockPace) {
  MixRig rig;
  rig.micScript.signal = [](int64_t, int) { return 0.5f; };
  rig.loopScript.signal = [](int64_t, int) { return 0.25f; };
  rig.loopScript.quiet = {{1000 * kMs, 6000 * kMs}};
  ASSERT_TRUE(rig.Start(true, true));
  rig.Run(6000);
  const auto& v = rig.recorded;
  for (size_t i = 48000 * 2; i < 48000 * 5; ++i) ASSERT_FLOAT_EQ(v[2 * i], 0.5f) << i;
  for (const auto& b : rig.batches) {
    if (b.time - rig.start > 1500 * kMs) {
      EXPECT_NEAR(double(b.produced), double(b.real), 48000 * 0.25);
    }
  }
}

struct AnchorCase {
  int64_t latM, latS, hold;
};

class TwoSourceAnchorTest : public testing::TestWithParam<AnchorCase> {};

TEST_P(TwoSourceAnchorTest, HoldsBackTheMainPathByTheLatencyDifference) {
  MixRig rig;
  rig.micScript.latency = GetParam().latM;
  rig.loopScript.latency = GetParam().latS;
  ASSERT_TRUE(rig.Start(true, true));
  rig.Run(400);
  EXPECT_TRUE(rig.mixer.Anchored());
  EXPECT_TRUE(rig.mixer.Aligned());
  EXPECT_EQ(rig.mixer.Hold(), GetParam().hold);
  EXPECT_EQ(rig.CountLines("[mix] ANCHOR latM=" + std::to_string(GetParam().latM) +
                           " latS=" + std::to_string(GetParam().latS) + " holdF=" + std::to_string(GetParam().hold)),
            1);
}

INSTANTIATE_TEST_SUITE_P(Latencies, TwoSourceAnchorTest,
                         testing::Values(AnchorCase{10 * kMs, 30 * kMs, 960}, AnchorCase{30 * kMs, 10 * kMs, 0},
                                         AnchorCase{10 * kMs, 10 * kMs, 0},
                                         AnchorCase{10 * kMs, 1500 * kMs, 48000}),
                         [](const auto& info) {
                           return "Main" + std::to_string(info.param.latM / kMs) + "MsSecondary" +
                                  std::to_string(info.param.latS / kMs) + "Ms";
                         });

TEST(TwoSourceMixerTest, AnchoringGivesUpWhenOneSourceSendsNothing) {
  MixRig rig;
  rig.loopScript.enabled = false;
  rig.micScript.signal = [](int64_t, int) { return 0.5f; };
  ASSERT_TRUE(rig.Start(true, true));
  rig.Run(1000);
  EXPECT_TRUE(rig.mixer.Anchored());
  EXPECT_FALSE(rig.mixer.Aligned());
  EXPECT_EQ(rig.CountLines("[mix] ANCHOR giveup fcM=9600 fcS=0"), 1);
  const auto& last = rig.batches.back();
  EXPECT_NEAR(double(last.produced), double(last.real), 48000 * 0.25);
}

struct AlignCase {
  int64_t latM, latS;
};

class TwoSourceAlignTest : public testing::TestWithParam<AlignCase> {};

// Both sources hear the same 1 ms click every 100 ms of capture time; each
// delivers it after its own latency. Merged, every click lands once: never a
// frame where only one copy sounds.
TEST_P(TwoSourceAlignTest, TheSameSoundLandsOnTheSameFrame) {
  MixRig rig;
  const auto click = [](int64_t latency) {
    const int64_t lead = 480 - Frames(latency, 48000) + 48000;  // capture frame of sample 0, shifted positive
    return [lead](int64_t k, int) { return (k + lead) % 4800 < 48 ? 0.25f : 0.0f; };
  };
  rig.micScript.latency = GetParam().latM;
  rig.loopScript.latency = GetParam().latS;
  rig.micScript.signal = click(GetParam().latM);
  rig.loopScript.signal = click(GetParam().latS);
  ASSERT_TRUE(rig.Start(true, true, 1));
  rig.Run(3000);
  int single = 0, both = 0;
  for (size_t i = 48000; i < rig.recorded.size(); ++i) {
    single += rig.recorded[i] > 0.2f && rig.recorded[i] < 0.3f;
    both += rig.recorded[i] > 0.45f;
  }
  EXPECT_GE(both, 48 * 15);
  EXPECT_EQ(single, 0) << both;
  if (getenv("DBG")) {
    for (size_t i = 48000; i < rig.recorded.size(); ++i)
      if (rig.recorded[i] > 0.2f && rig.recorded[i] < 0.3f) printf("single at %zu\n", i);
    for (auto& l : rig.log) if (l.find("MIX") == std::string::npos || getenv("DBG")[0]=='2') printf("%s\n", l.c_str());
  }
}

INSTANTIATE_TEST_SUITE_P(Latencies, TwoSourceAlignTest,
                         testing::Values(AlignCase{30 * kMs, 10 * kMs}, AlignCase{10 * kMs, 30 * kMs},
                                         AlignCase{10 * kMs, 10 * kMs}, AlignCase{45 * kMs, 2 * kMs}),
                         [](const auto& info) {
                           return "Main" + std::to_string(info.param.latM / kMs) + "MsSecondary" +
                                  std::to_string(info.param.latS / kMs) + "Ms";
                         });

TEST(TwoSourceMixerTest, SecondaryOverflowIsReportedOncePerChange) {
  MixRig rig;
  ASSERT_TRUE(rig.Start(true, true));
  rig.Run(300);
  EXPECT_EQ(rig.CountLines("SDROP"), 0);
  rig.loopScript.enabled = false;  // only the pushes below fill the ring
  std::vector<float> block(9 * 48000 * 2, 0.1f);
  rig.loop.Push(block.data(), 9 * 48000, rig.clock.Now100ns());
  const uint64_t overflow = rig.loop.OverflowFrames();
  ASSERT_GT(overflow, 0u);
  rig.PullOnce();
  rig.Run(100);
  ASSERT_EQ(rig.CountLines("SDROP"), 1);
  const std::string expected = "[mix] SDROP 从路环溢出累计=" + std::to_string(overflow) + " 帧 avS=";
  for (const auto& l : rig.log) {
    if (l.find("SDROP") != std::string::npos) {
      EXPECT_EQ(l.rfind(expected, 0), 0u) << l;
      EXPECT_NE(l.find("ringCap=384000 帧 （环满 ⇒ 采集端在丢数据，产物会缺料）"), std::string::npos) << l;
    }
  }
  rig.loop.Push(block.data(), 48000, rig.clock.Now100ns());
  rig.Run(100);
  EXPECT_EQ(rig.CountLines("SDROP"), 2);
}

TEST(TwoSourceMixerTest, BatchesStaySmallAfterTheMainPathWakesUpWithABacklog) {
  MixRig rig;
  rig.micScript.quiet = {{1000 * kMs, 1500 * kMs}};
  ASSERT_TRUE(rig.Start(true, true));
  rig.Run(1500);
  std::vector<float> block(24000 * 2, 0.3f);  // the quiet half second arrives at once
  rig.mic.Push(block.data(), 24000, rig.clock.Now100ns() - 500 * kMs);
  rig.Run(2000);
  int64_t largest = 0;
  for (const auto& b : rig.batches) largest = std::max(largest, b.frames);
  EXPECT_LE(largest, 1920);
  for (const auto& b : rig.batches) EXPECT_LE(b.produced - b.real, 48000 * 0.25) << b.time - rig.start;
}

TEST(TwoSourceMixerTest, DrainsTheMainPathAfterStopThenReturnsZero) {
  MixRig rig;
  ASSERT_TRUE(rig.Start(true, true));
  std::vector<float> block(20000 * 2, 0.5f), other(20000 * 2, 0.25f);
  rig.mic.Push(block.data(), 20000, rig.clock.Now100ns());
  rig.loop.Push(other.data(), 20000, rig.clock.Now100ns());
  rig.mixer.Stop();
  EXPECT_EQ(rig.Drain(), (std::vector<size_t>{8192, 8192, 3616, 0}));
  EXPECT_EQ(rig.mixer.MainPathFrames(), 0u);
  EXPECT_FLOAT_EQ(rig.recorded[0], 0.75f);  // both mixed
}

// ---- Log lines -----------------------------------------------------------

TEST(MixerLogTest, WritesAMixLineEveryFiftyPullsWithTheRecorderFigures) {
  for (bool two : {false, true}) {
    MixRig rig;
    ASSERT_TRUE(rig.Start(true, two));
    rig.Tick(20);  // the timeline starts with the first packets
    for (int i = 0; i < 49; ++i) rig.PullOnce();
    rig.mixer.RecordSinkWrite(2.4);
    rig.mixer.RecordSinkWrite(0.6);
    rig.mixer.SetPointerCounters(3, 700);
    for (int i = 0; i < 51; ++i) rig.PullOnce();
    EXPECT_EQ(rig.CountLines("[mix] MIX pace="), two ? 1 : 2) << two;
    const std::string& first = rig.log.front();
    EXPECT_NE(first.find(two ? " headM=" : " 1src=1 avM="), std::string::npos) << first;
    EXPECT_NE(first.find(" sk=2 sa=15 ptrC=3 ptrB=700"), std::string::npos) << first;
    EXPECT_NE(first.find("/50 out="), std::string::npos) << first;
  }
}

}  // namespace
}  // namespace vesk
