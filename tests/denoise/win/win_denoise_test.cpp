// The Windows build under Wine: the x64 host in-process, the fault guard,
// and the 32-bit path end to end (x64 VeskRecorder.exe -> x86
// VeskDenoise32.exe -> x86 plug-in DLL).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "core/version.h"
#include "denoise/denoise_fixture.h"
#include "support/wav_builder.h"
#include "denoise/helper_client.h"
#include "denoise/plugin_probe.h"
#include "denoise/vst3_host.h"
#include "media/wav_reader.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace vesk {
namespace {
using namespace vesk::test;
namespace fs = std::filesystem;

// Under a Wine that cannot start 32-bit programs (the machine's kernel runs
// none; scripts/wine-run.sh says so), the x86 helper cannot run at all.
#define SKIP_WITHOUT_32BIT_PROGRAMS()   \
  if (std::getenv("VESK_WINE_NO_32BIT")) \
  GTEST_SKIP() << "this machine runs no 32-bit programs: Wine cannot start the x86 helper"

const bool kLogOn = [] { return _putenv_s("VESK_VST3_HOST_LOG", "1") == 0; }();

fs::path Fixture32(const std::string& variant) {
  return BuiltProgramDir() / "fixtures32" / variant / "VeskTest Voice De-noise.vst3";
}

// The samples of a WAV file the test made or the program wrote.
std::vector<float> WavSamples(const fs::path& path) {
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  bool riff = false;
  EXPECT_TRUE(ReadWavFile(path, format, samples, error, riff)) << error;
  return samples;
}

std::string MainVersion() { return ReadProductVersion(BuiltProgramDir() / "VeskRecorder.exe"); }

TEST(WinHost, RendersTheX64PluginInProcessWithTheReductionMoved) {
  const std::vector<float> in = Noise(48000 * 2, 0.003f);
  std::vector<float> out = in;
  std::string error;
  double native = 0;
  bool applied = false;
  ASSERT_TRUE(RenderThroughPlugin({FixtureModule("voice_denoise"), "x.vst3"}, out, 48000, 2, 6, &error, nullptr,
                                  &native, &applied))
      << error;
  EXPECT_TRUE(applied);
  EXPECT_DOUBLE_EQ(native, -18);
  const double gain = RmsOfRange(out, 30000, 90000) / RmsOfRange(in, 30000, 90000);
  EXPECT_NEAR(20 * std::log10(gain), -18, 0.2);
}

TEST(WinHost, SurvivesAPluginThatFaultsInConnect) {
  ASSERT_TRUE(kLogOn);
  const std::string display = "win-fault-" + std::to_string(CurrentProcessId()) + ".vst3";
  std::vector<float> samples = Noise(20000, 0.003f);
  std::string error;
  double native = 0;
  ASSERT_TRUE(RenderThroughPlugin({FixtureModule("fault_connect"), display}, samples, 48000, 1, -6, &error, nullptr,
                                  &native, nullptr))
      << error;
  EXPECT_DOUBLE_EQ(native, -6);
  const std::string log = ReadText(HostLogPath());
  const size_t start = log.find("=== load " + display);
  ASSERT_NE(start, std::string::npos);
  EXPECT_NE(log.find("  connect crashed (0xC0000005)", start), std::string::npos);
}

TEST(WinHelper, ExchangesSamplesWithTheX86HelperAndPlugin) {
  SKIP_WITHOUT_32BIT_PROGRAMS();
  ASSERT_TRUE(fs::exists(BuiltProgramDir() / "VeskDenoise32.exe"));
  ASSERT_FALSE(MainVersion().empty());
  DenoiseEngine engine;
  engine.discovered = true;
  engine.modulePath = Fixture32("voice_denoise");
  engine.fileName = "VeskTest Voice De-noise.vst3";
  engine.architecture = 2;
  const HelperPlaces places{BuiltProgramDir(), ScratchDir().path(), MainVersion()};
  const std::vector<float> in = Noise(48000 * 2, 0.003f);
  for (unsigned level : {0u, 1u, 2u}) {
    std::vector<float> viaHelper = in, direct = in;
    std::string error;
    ASSERT_TRUE(RunHelperDenoise(places, engine, viaHelper, 48000, 2, error, level)) << error;
    ASSERT_TRUE(DenoiseAtStrength({FixtureModule("voice_denoise"), "x"}, direct, 48000, 2, &error, nullptr,
                                  ReductionOffsetForLevel(level), nullptr));
    ASSERT_EQ(viaHelper.size(), direct.size());
    for (size_t i = 0; i < direct.size(); i += 97) ASSERT_NEAR(viaHelper[i], direct[i], 1e-5) << i;
  }
}

TEST(WinHelper, TheX64HelperTriesModulesOutAndReportsAFaultAsACrash) {
  const fs::path helper = BuiltProgramDir() / "VeskDenoise64.exe";
  const ProbeVerdict healthy = ProbeModule(helper, FixtureModule("voice_denoise"), 30000);
  EXPECT_EQ(healthy.outcome, ProbeOutcome::Passed) << healthy.reason;
  const ProbeVerdict faulty = ProbeModule(helper, FixtureModule("fault_process"), 30000);
  EXPECT_EQ(faulty.outcome, ProbeOutcome::Crashed) << faulty.reason;
  EXPECT_NE(faulty.reason.find("0xC0000005"), std::string::npos) << faulty.reason;
}

TEST(WinHelper, RefusesAHelperWithAnotherProductVersion) {
  ScratchDir programDir;
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(BuiltProgramDir() / "VeskDenoise32.exe", bytes));
  // Another version of the same length, so the resource keeps its layout.
  const std::string version = kVersion;
  std::string other = version;
  other.back() = other.back() == '9' ? '8' : char(other.back() + 1);
  const std::u16string from(version.begin(), version.end()), to(other.begin(), other.end());
  const std::string f(reinterpret_cast<const char*>(from.data()), from.size() * 2);
  const std::string t(reinterpret_cast<const char*>(to.data()), to.size() * 2);
  for (size_t at = bytes.find(f); at != std::string::npos; at = bytes.find(f, at)) bytes.replace(at, f.size(), t);
  WriteBytes(programDir / "VeskDenoise32.exe", std::vector<uint8_t>(bytes.begin(), bytes.end()));
  DenoiseEngine engine;
  engine.modulePath = Fixture32("voice_denoise");
  engine.architecture = 2;
  std::vector<float> samples(100, 0.1f);
  std::string error;
  EXPECT_FALSE(RunHelperDenoise({programDir.path(), ScratchDir().path(), version}, engine, samples, 48000, 1,
                                error, 1));
  EXPECT_EQ(error, "程序目录里的 VeskDenoise32.exe 是 " + other + "，跟主程序（" + version +
                       "）对不上 —— 删掉这个文件，程序会自动改用内嵌的那份。");
}

TEST(WinHelper, HelperWithoutOutWritesDotLogInItsWorkingFolder) {
  SKIP_WITHOUT_32BIT_PROGRAMS();
  ScratchDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  const RunResult r = RunProgram(BuiltProgramDir() / "VeskDenoise32.exe", {"--plugin", "x", "--in", "y"});
  fs::current_path(previous);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(ReadText(dir / ".log"), "ok=0\narch=32\nms=0\nengine=\nerr=参数不完整（需要 --plugin/--in/--out）\n");
}

class WinDenoiseMode : public ::testing::TestWithParam<bool> {};

// Parameter: whether a helper stands next to the program; without one the
// program writes out its embedded copy into the per-user folder and uses it.
TEST_P(WinDenoiseMode, MainProgramRendersThroughTheX86HelperEndToEnd) {
  SKIP_WITHOUT_32BIT_PROGRAMS();
  const bool helperNextToProgram = GetParam();
  ScratchDir app, vst3, local;
  CopyBuiltProgram("VeskRecorder", app.path());
  if (helperNextToProgram) fs::copy_file(BuiltProgramDir() / "VeskDenoise32.exe", app / "VeskDenoise32.exe");
  InstallBundle(vst3.path(), "VeskTest Voice De-noise.vst3", "Contents/x86-win", Fixture32("voice_denoise"));
  // A quiet noise WAV (mono 16-bit, 1 s).
  const std::vector<float> noise = Noise(48000, 0.003f);
  const std::vector<uint8_t> wav = MakeWav(FmtSpec{1, 1, 48000, 16}, Pcm16(noise), 96000, 36 + 96000);
  WriteBytes(app / "in.wav", wav);

  const std::string previousLocal = std::getenv("LOCALAPPDATA") ? std::getenv("LOCALAPPDATA") : "";
  _putenv_s("VESK_VST3_PATH", PathToUtf8(vst3.path()).c_str());
  _putenv_s("LOCALAPPDATA", PathToUtf8(local.path()).c_str());
  const RunResult r = RunProgram(app / "VeskRecorder.exe", {"--denoise", PathToUtf8(app / "in.wav")});
  _putenv_s("VESK_VST3_PATH", "");
  _putenv_s("LOCALAPPDATA", previousLocal.c_str());
  ASSERT_TRUE(r.started);
  const std::string report = ReadText(app / "denoise-report.txt");
  EXPECT_EQ(r.exitCode, 0) << report;
  EXPECT_NE(report.find("ok=1\n"), std::string::npos) << report;
  EXPECT_NE(report.find("engine=VeskTest Voice De-noise（32 位）\n"), std::string::npos) << report;
  const std::vector<float> in = WavSamples(app / "in.wav"), out = WavSamples(app / "in_denoise.wav");
  ASSERT_FALSE(out.empty());
  EXPECT_NEAR(20 * std::log10(RmsOfRange(out, 15000, 40000) / RmsOfRange(in, 15000, 40000)), -12, 0.3);
  const fs::path extracted = local / "VeskRecorder" / "VeskDenoise32.exe";
  EXPECT_EQ(fs::exists(extracted), !helperNextToProgram);
  if (!helperNextToProgram) {
    std::string a, b;
    ASSERT_TRUE(ReadWholeFile(extracted, a));
    ASSERT_TRUE(ReadWholeFile(BuiltProgramDir() / "VeskDenoise32.exe", b));
    EXPECT_TRUE(a == b) << "the embedded copy is the built x86 helper";
  }
}

INSTANTIATE_TEST_SUITE_P(HelperPlacement, WinDenoiseMode, ::testing::Bool());

// No plug-in installed: the built-in engine (FFmpeg's filters in the DLLs
// beside the program, the speech model with them) renders `--denoise`.
TEST(WinBuiltinDenoise, RendersWithoutAPluginAndShipsOnlyLgplLibraries) {
  for (const char* licence : {avutil_license(), avcodec_license(), avformat_license(), avfilter_license(),
                              swresample_license(), swscale_license()})
    EXPECT_STREQ(licence, "LGPL version 2.1 or later");
  ScratchDir app, vst3;
  CopyBuiltProgram("VeskRecorder", app.path());
  // Two seconds of noise, then tone bursts over the same noise.
  std::vector<float> samples = Noise(48000 * 4, 0.003f);
  for (size_t i = 96000; i < samples.size(); ++i)
    if ((i / 9600) % 2 == 1) samples[i] += 0.3f * float(std::sin(2 * M_PI * 440.0 * double(i) / 48000));
  WriteBytes(app / "in.wav", MakeWav(FmtSpec{1, 1, 48000, 16}, Pcm16(samples), 384000, 36 + 384000));
  _putenv_s("VESK_VST3_PATH", PathToUtf8(vst3.path()).c_str());
  const RunResult r = RunProgram(app / "VeskRecorder.exe", {"--denoise", PathToUtf8(app / "in.wav")});
  _putenv_s("VESK_VST3_PATH", "");
  ASSERT_TRUE(r.started);
  const std::string report = ReadText(app / "denoise-report.txt");
  EXPECT_EQ(r.exitCode, 0) << report;
  EXPECT_NE(report.find("engine=内置降噪\n"), std::string::npos) << report;
  const std::vector<float> in = WavSamples(app / "in.wav"), out = WavSamples(app / "in_denoise.wav");
  ASSERT_EQ(out.size(), in.size());
  // The noise between two bursts.
  EXPECT_LT(20 * std::log10(RmsOfRange(out, 116500, 123500) / RmsOfRange(in, 116500, 123500)), -9.0);
}

}  // namespace
}  // namespace vesk
