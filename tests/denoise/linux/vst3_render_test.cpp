// In-process renders through the test plug-in.
#include <gtest/gtest.h>

#include <cstdlib>

#include "denoise/vst3_host.h"
#include "denoise/denoise_fixture.h"
#include "platform/text.h"

#include <csignal>
#include <unistd.h>

namespace vesk {
namespace {
using namespace vesk::test;

// Host logging is decided once per run, so it is switched on before any test.
const bool kLogOn = [] { return setenv("VESK_VST3_HOST_LOG", "1", 1) == 0; }();

constexpr uint32_t kRate = 48000;

PluginRef Fixture(const std::string& variant, const std::string& display = "VeskTest Voice De-noise.vst3") {
  return {FixtureModule(variant), display};
}

// Ratio of output to input level over the settled middle of a quiet buffer.
double QuietGain(const std::vector<float>& in, const std::vector<float>& out, unsigned channels) {
  const size_t from = size_t(0.3 * kRate) * channels, to = in.size() - 2048 * channels;
  return RmsOfRange(out, from, to) / RmsOfRange(in, from, to);
}

double Db(double gain) { return 20.0 * std::log10(gain); }

struct BlockCase {
  size_t frames;
  int calls;
  int minBlock;
  int maxBlock;
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.frames << " frames"; }

class RenderBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(RenderBlocks, ProcessesInBlocksOf1024WithoutEmptyBlocks) {
  const BlockCase c = GetParam();
  const PluginRef plugin = Fixture("voice_denoise");
  ResetFixture(plugin.modulePath);
  std::vector<float> samples = Noise(c.frames * 2, 0.1f);
  std::string error;
  ASSERT_TRUE(RenderThroughPlugin(plugin, samples, kRate, 2, 0, &error, nullptr, nullptr, nullptr)) << error;
  const FixtureStats s = ReadFixture(plugin.modulePath);
  EXPECT_EQ(s.processCalls, c.calls);
  EXPECT_EQ(s.minBlock, c.minBlock);
  EXPECT_EQ(s.maxBlock, c.maxBlock);
  EXPECT_EQ(s.processMode, 2) << "offline processing is asked for first";
  EXPECT_EQ(samples.size(), c.frames * 2);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RenderBlocks,
                         ::testing::Values(BlockCase{100, 1, 100, 100}, BlockCase{1024, 1, 1024, 1024},
                                           BlockCase{3072, 3, 1024, 1024}, BlockCase{3000, 3, 952, 1024}));

TEST(RenderThroughPlugin, CompensatesLatencySoOutputLinesUpAndEndsInSilence) {
  for (unsigned channels : {1u, 2u}) {
    const size_t frames = 8192;
    std::vector<float> samples(frames * channels, 0.0f);
    for (unsigned c = 0; c < channels; ++c) samples[3000 * channels + c] = 0.9f;
    std::string error;
    ASSERT_TRUE(RenderThroughPlugin(Fixture("voice_denoise"), samples, kRate, channels, 0, &error, nullptr, nullptr,
                                    nullptr))
        << error;
    for (unsigned c = 0; c < channels; ++c) {
      EXPECT_NEAR(samples[3000 * channels + c], 0.9f, 1e-6) << "channel " << c;
      EXPECT_EQ(samples[3256 * channels + c], 0.0f);
    }
    for (size_t i = (frames - 256) * channels; i < samples.size(); ++i) ASSERT_EQ(samples[i], 0.0f) << i;
  }
}

struct OffsetCase {
  double offset;
  double expectedDb;     // the Reduction value the plug-in ends up with
  double nativeValue;    // what the host reports as set
};

void PrintTo(const OffsetCase& c, std::ostream* os) { *os << "offset " << c.offset; }

class ReductionOffsets : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(ReductionOffsets, MovesTheNegativeDefaultAndTheAudioFollows) {
  const OffsetCase c = GetParam();
  const PluginRef plugin = Fixture("voice_denoise");
  ResetFixture(plugin.modulePath);
  const std::vector<float> in = Noise(kRate * 2, 0.003f);  // well below the gate threshold
  std::vector<float> out = in;
  std::string error, className;
  double native = 99;
  bool applied = false;
  ASSERT_TRUE(RenderThroughPlugin(plugin, out, kRate, 1, c.offset, &error, &className, &native, &applied)) << error;
  EXPECT_EQ(className, "Test Voice De-noise");
  EXPECT_NEAR(native, c.nativeValue, 1e-9);
  EXPECT_EQ(applied, c.offset != 0);
  EXPECT_NEAR(Db(QuietGain(in, out, 1)), c.expectedDb, 0.2);
  const FixtureStats s = ReadFixture(plugin.modulePath);
  if (c.offset != 0) {
    EXPECT_NEAR(s.lastReductionFromChanges, c.nativeValue, 1e-9);
    EXPECT_EQ(s.blocksWithChanges, s.processCalls) << "the change goes with every block";
    EXPECT_EQ(s.connects, 1);
    EXPECT_EQ(s.componentStatesReceived, 1);
  } else {
    EXPECT_EQ(s.blocksWithChanges, 0);
    EXPECT_EQ(s.connects, 0) << "no controller at offset 0";
  }
  EXPECT_EQ(s.instancesAlive, 0) << "the host releases every instance it made";
  EXPECT_EQ(s.hostNameOk, 1);
}

INSTANTIATE_TEST_SUITE_P(Offsets, ReductionOffsets,
                         ::testing::Values(OffsetCase{6, -18, -18}, OffsetCase{0, -12, 0}, OffsetCase{-6, -6, -6},
                                           OffsetCase{40, -40, -40} /* clamped at the bottom */,
                                           OffsetCase{-20, 0, 0} /* clamped at the top */));

struct FallbackCase {
  double offset;
  double expectedGain;
};

void PrintTo(const FallbackCase& c, std::ostream* os) { *os << "offset " << c.offset; }

class StrengthFallbacks : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(StrengthFallbacks, WithoutReductionParameterGentleMixesAndAggressiveRendersTwice) {
  const FallbackCase c = GetParam();
  const std::vector<float> in = Noise(kRate * 2 * 2, 0.003f);
  std::vector<float> out = in;
  std::string error;
  double native = 99;
  ASSERT_TRUE(DenoiseAtStrength(Fixture("no_reduction"), out, kRate, 2, &error, nullptr, c.offset, &native)) << error;
  EXPECT_EQ(native, 0);
  EXPECT_NEAR(QuietGain(in, out, 2), c.expectedGain, c.expectedGain * 0.03);
}

const double kDefaultGain = std::pow(10.0, -12.0 / 20.0);
INSTANTIATE_TEST_SUITE_P(Levels, StrengthFallbacks,
                         ::testing::Values(FallbackCase{-6, 0.5 * kDefaultGain + 0.5},
                                           FallbackCase{0, kDefaultGain},
                                           FallbackCase{6, kDefaultGain * kDefaultGain}));

TEST(DenoiseAtStrength, ReportsTheNativeValueWhenTheParameterMoved) {
  std::vector<float> samples = Noise(4096, 0.003f);
  double native = 0;
  std::string error;
  ASSERT_TRUE(DenoiseAtStrength(Fixture("voice_denoise"), samples, kRate, 1, &error, nullptr, -6, &native));
  EXPECT_DOUBLE_EQ(native, -6);
}

TEST(RenderThroughPlugin, SurvivesAPluginThatFaultsInConnect) {
  ASSERT_TRUE(kLogOn);
  const std::string display = "fault-connect-" + std::to_string(getpid()) + ".vst3";
  const PluginRef plugin = Fixture("fault_connect", display);
  ResetFixture(plugin.modulePath);
  const std::vector<float> in = Noise(kRate, 0.003f);
  std::vector<float> out = in;
  std::string error;
  double native = 0;
  bool applied = false;
  ASSERT_TRUE(RenderThroughPlugin(plugin, out, kRate, 1, 6, &error, nullptr, &native, &applied)) << error;
  EXPECT_TRUE(applied);
  EXPECT_DOUBLE_EQ(native, -18);
  const FixtureStats s = ReadFixture(plugin.modulePath);
  EXPECT_EQ(s.connects, 0);
  EXPECT_EQ(s.componentStatesReceived, 1) << "state sync still runs after the fault";

  // The fault is in the host log, between this render's load line and its end.
  const std::string log = ReadText(HostLogPath());
  const size_t start = log.find("=== load " + display);
  ASSERT_NE(start, std::string::npos);
  // Other test processes may append to the same log meanwhile; this render's
  // lines follow its load line.
  const std::string block = log.substr(start);
  EXPECT_NE(block.find("  ctrl->connect(comp) -> 0x00000000"), std::string::npos) << block;
  EXPECT_NE(block.find(Format("  connect crashed (0x%08X) —— 忽略，继续按未连接渲染", unsigned(SIGSEGV))),
            std::string::npos)
      << block;

  // The same process can render again afterwards.
  std::vector<float> again = in;
  EXPECT_TRUE(RenderThroughPlugin(plugin, again, kRate, 1, 6, &error, nullptr, nullptr, nullptr));
}

struct FailureCase {
  std::string name;
  std::filesystem::path module;
  unsigned channels;
  size_t samples;
  std::string message;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class RenderFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(RenderFailures, NameThePluginAndTheReason) {
  const FailureCase& c = GetParam();
  std::vector<float> samples(c.samples, 0.1f);
  const std::vector<float> before = samples;
  std::string error;
  EXPECT_FALSE(RenderThroughPlugin({c.module, "X.vst3"}, samples, kRate, c.channels, 0, &error, nullptr, nullptr,
                                   nullptr));
  EXPECT_EQ(error.rfind("X.vst3：" + c.message, 0), 0u) << error;
  EXPECT_EQ(samples, before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderFailures,
    ::testing::Values(FailureCase{"ThreeChannels", FixtureModule("voice_denoise"), 3, 30, "只支持单声道/立体声"},
                      FailureCase{"Empty", FixtureModule("voice_denoise"), 2, 0, "没有音频数据"},
                      FailureCase{"Missing", "/nonexistent/none.so", 2, 20, "模块加载失败：/nonexistent/none.so: cannot open"},
                      FailureCase{"NotAPlugin", BuiltProgramDir() / "VeskRecorder", 1, 20, "模块加载失败："}),
    [](const auto& info) { return info.param.name; });

// A module cut short (a broken download or copy) is refused with the
// loader's own reason before it is mapped: mapping it ends the process.
TEST(RenderFailuresCutShort, AreRefusedWithTheLoadersReasonAndTheProgramGoesOn) {
  test::ScratchDir dir;
  const std::string whole = ReadText(FixtureModule("voice_denoise"));
  const std::pair<size_t, const char*> cuts[] = {
      {8192, "ELF load command past end of file"}, {20000, "ELF load command past end of file"}, {40, "file too short"}};
  for (const auto& [size, reason] : cuts) {
    ASSERT_LT(size, whole.size());
    const auto cut = dir / ("cut" + std::to_string(size) + ".so");
    WriteText(cut, whole.substr(0, size));
    std::vector<float> samples(200, 0.1f);
    std::string error;
    EXPECT_FALSE(RenderThroughPlugin({cut, "X.vst3"}, samples, kRate, 2, 0, &error, nullptr, nullptr, nullptr));
    EXPECT_EQ(error, "X.vst3：模块加载失败：" + PathToUtf8(cut) + ": " + reason) << size;
  }
}

}  // namespace
}  // namespace vesk
