// Modules tried out in the helper before this process loads them: damaged,
// faulting and hanging builds of the test plug-in are refused with a reason
// while the test program itself goes on; a healthy one renders the same
// samples in the helper as in this process.
#include <gtest/gtest.h>

#include "denoise/denoise_fixture.h"
#include "denoise/helper_client.h"
#include "denoise/plugin_probe.h"
#include "denoise/vst3_host.h"
#include "platform/text.h"

namespace vesk {
namespace {
using namespace vesk::test;
namespace fs = std::filesystem;

constexpr const char* kBundle = "VeskTest Voice De-noise.vst3";
constexpr const char* kSub = "Contents/x86_64-linux";

struct ProbeRig {
  ScratchDir dir;
  DenoiseEngine engine;

  // The variant installed as the bundle's module, cut to `cutAt` bytes when
  // that is not 0.
  explicit ProbeRig(const std::string& variant, uintmax_t cutAt = 0) {
    engine.discovered = true;
    engine.modulePath = InstallBundle(dir.path() / "vst3", kBundle, kSub, FixtureModule(variant));
    if (cutAt) fs::resize_file(engine.modulePath, cutAt);
    engine.fileName = kBundle;
    engine.architecture = 1;
    engine.displayName = "VeskTest Voice De-noise";
    engine.probeBook = dir.path() / "plugin-probes.txt";
    engine.probeTimeoutMs = 3000;
  }

  // Puts another build at the module's path (another size, a later time)
  // the way installers do: a new file renamed over the old one, whose pages
  // this process may still have mapped.
  void Replace(const std::string& variant) {
    fs::path fresh = engine.modulePath;
    fresh += ".new";
    fs::copy_file(FixtureModule(variant), fresh, fs::copy_options::overwrite_existing);
    fs::last_write_time(fresh, fs::last_write_time(engine.modulePath) + std::chrono::seconds(5));
    fs::rename(fresh, engine.modulePath);
  }
};

std::vector<float> Direct(const std::string& variant, std::vector<float> samples, unsigned level) {
  std::string error;
  EXPECT_TRUE(DenoiseAtStrength({FixtureModule(variant), "x"}, samples, 48000, 2, &error, nullptr,
                                ReductionOffsetForLevel(level), nullptr))
      << error;
  return samples;
}

struct ProbeCase {
  const char* name;
  const char* variant;
  uintmax_t cutAt;
  ProbeOutcome outcome;
  const char* reason;  // part of the refusal's text
};

void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

class ProbeVerdicts : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeVerdicts, RefusesBrokenModulesWithTheirReasonAndTheCallerGoesOn) {
  const ProbeCase c = GetParam();
  ProbeRig rig(c.variant, c.cutAt);
  const std::vector<float> in = Noise(48000 * 2, 0.003f, 5);
  std::vector<float> samples = in;
  std::string error;
  const bool ok = RunDenoise(rig.engine, samples, 48000, 2, error, 1);

  // This process is still here; the verdict was written down once.
  const ProbeVerdict again = CheckPluginModule(rig.engine, DefaultHelperPlaces());
  EXPECT_FALSE(again.probed) << "the verdict comes from the file the second time";
  EXPECT_EQ(again.outcome, c.outcome) << again.reason;
  EXPECT_EQ(again.everFailed, c.outcome != ProbeOutcome::Passed);
  if (c.outcome == ProbeOutcome::Passed) {
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(samples, Direct(c.variant, in, 1));
    return;
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(samples, in) << "a refused module leaves the samples alone";
  EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  EXPECT_EQ(error.find("错误码"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Modules, ProbeVerdicts,
    ::testing::Values(
        ProbeCase{"cut at 8,192 bytes", "voice_denoise", 8192, ProbeOutcome::Failed, "ELF load command past end of file"},
        ProbeCase{"cut at 20,000 bytes", "voice_denoise", 20000, ProbeOutcome::Failed,
                  "ELF load command past end of file"},
        ProbeCase{"cut inside the header", "voice_denoise", 40, ProbeOutcome::Failed, "file too short"},
        ProbeCase{"faults inside process", "fault_process", 0, ProbeOutcome::Crashed, "试运行时崩溃（信号 11）"},
        ProbeCase{"never returns from process", "hang_process", 0, ProbeOutcome::Hung, "试运行 3 秒没有结束"},
        ProbeCase{"healthy", "voice_denoise", 0, ProbeOutcome::Passed, ""}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) {
      std::string name;
      for (const char* p = info.param.name; *p; ++p)
        if (std::isalnum((unsigned char)*p)) name += *p;
      return name;
    });

TEST(PluginProbe, AnUnchangedModuleIsProbedOnceAndAChangedOneAgain) {
  ProbeRig rig("voice_denoise");
  const HelperPlaces places = DefaultHelperPlaces();
  EXPECT_TRUE(CheckPluginModule(rig.engine, places).probed);
  EXPECT_FALSE(CheckPluginModule(rig.engine, places).probed);
  // Another engine record (a later start) reads the same file.
  DenoiseEngine later = rig.engine;
  EXPECT_FALSE(CheckPluginModule(later, places).probed);
  rig.Replace("no_reduction");
  const ProbeVerdict changed = CheckPluginModule(rig.engine, places);
  EXPECT_TRUE(changed.probed);
  EXPECT_EQ(changed.outcome, ProbeOutcome::Passed) << changed.reason;
}

TEST(PluginProbe, AModuleReplacedAfterLoadingNeverRunsItsOldCode) {
  ProbeRig rig("voice_denoise");
  rig.engine.isolateChoice = 0;
  const std::vector<float> in = Noise(48000 * 2, 0.003f, 9);
  std::vector<float> samples = in;
  std::string error;
  ASSERT_TRUE(RunDenoise(rig.engine, samples, 48000, 2, error, 0)) << error;  // loaded here
  EXPECT_EQ(samples, Direct("voice_denoise", in, 0));

  rig.Replace("fault_process");
  samples = in;
  EXPECT_FALSE(RunDenoise(rig.engine, samples, 48000, 2, error, 0));
  EXPECT_NE(error.find("崩溃"), std::string::npos) << error;

  // A healthy build again: its own code renders (it has no Reduction
  // parameter, so level 0 takes the second pass), out of process.
  rig.Replace("no_reduction");
  samples = in;
  ASSERT_TRUE(RunDenoise(rig.engine, samples, 48000, 2, error, 0)) << error;
  EXPECT_EQ(samples, Direct("no_reduction", in, 0));
  EXPECT_NE(samples, Direct("voice_denoise", in, 0));
}

TEST(PluginProbe, IsolatedRendersMatchInProcessOnesAndAFaultCostsOnlyTheRender) {
  ProbeRig rig("voice_denoise");
  const HelperPlaces places = DefaultHelperPlaces();
  for (unsigned level : {0u, 1u, 2u}) {
    const std::vector<float> in = Noise(48000 * 2, 0.003f, 11 + level);
    std::vector<float> samples = in;
    std::string error;
    ASSERT_TRUE(RunIsolatedDenoise(places, rig.engine, samples, 48000, 2, error, level)) << error;
    EXPECT_EQ(samples, Direct("voice_denoise", in, level)) << "level " << level;
  }
  ProbeRig faulty("fault_process");
  std::vector<float> samples = Noise(4096, 0.1f);
  const std::vector<float> before = samples;
  std::string error;
  EXPECT_FALSE(RunIsolatedDenoise(places, faulty.engine, samples, 48000, 2, error, 1));
  EXPECT_NE(error.find("在独立进程里崩溃了（信号 11）"), std::string::npos) << error;
  EXPECT_EQ(samples, before);
}

TEST(PluginProbe, AModuleThatEverFailedRendersOutOfProcessUnlessTheUserSaysOtherwise) {
  ProbeRig rig("voice_denoise", 8192);
  std::vector<float> samples = Noise(4096, 0.01f);
  std::string error;
  EXPECT_FALSE(RunDenoise(rig.engine, samples, 48000, 2, error, 1));
  EXPECT_TRUE(PluginProbeEverFailed(rig.engine));
  rig.Replace("voice_denoise");
  const ProbeVerdict healed = CheckPluginModule(rig.engine, DefaultHelperPlaces());
  EXPECT_EQ(healed.outcome, ProbeOutcome::Passed);
  EXPECT_TRUE(healed.everFailed);
  EXPECT_TRUE(PluginIsolationOn(rig.engine.isolateChoice, healed.everFailed));
  EXPECT_FALSE(PluginIsolationOn(0, healed.everFailed));
}

}  // namespace
}  // namespace vesk
