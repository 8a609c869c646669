// The helper exchange on Linux: the native helper program hosts the x86-64
// test plug-in, so the whole protocol runs for real here.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "denoise/denoise_fixture.h"
#include "denoise/helper_client.h"
#include "denoise/vst3_host.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text.h"

namespace vesk {
namespace {
using namespace vesk::test;
namespace fs = std::filesystem;

DenoiseEngine FixtureEngine() {
  DenoiseEngine e;
  e.discovered = true;
  e.modulePath = FixtureModule("voice_denoise");
  e.fileName = "VeskTest Voice De-noise.vst3";
  e.architecture = 2;
  e.displayName = "VeskTest Voice De-noise（32 位）";
  return e;
}

HelperPlaces Places(const fs::path& programDir, const fs::path& userDir) {
  return {programDir, userDir, OwnProductVersion()};
}

fs::path BuiltHelper() { return BuiltProgramDir() / HelperFileName(); }

// Copies the built helper and replaces its version marker text.
void CopyHelperWithVersion(const fs::path& to, const std::string& version) {
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(BuiltHelper(), bytes));
  const std::string marker = std::string("VESK-PRODUCT-VERSION=") + OwnProductVersion();
  const size_t at = bytes.find(marker);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(version.size(), OwnProductVersion().size());
  bytes.replace(at + marker.size() - version.size(), version.size(), version);
  WriteBytes(to, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  chmod(to.c_str(), 0755);
}

std::vector<fs::path> LeftoverTempFiles() {
  std::vector<fs::path> found;
  const std::string prefix = Format("vesk-%lu-", CurrentProcessId());
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(PrivateTempDir(), ec))
    if (PathToUtf8(e.path().filename()).rfind(prefix, 0) == 0) found.push_back(e.path());
  return found;
}

TEST(HelperProtocol, RendersLikeTheInProcessHostAndCleansUp) {
  for (unsigned level : {0u, 1u, 2u}) {
    const std::vector<float> in = Noise(48000 * 2, 0.003f, 7 + level);
    std::vector<float> viaHelper = in, direct = in;
    DenoiseEngine engine = FixtureEngine();
    engine.nativeApplied = true;
    std::string error;
    ASSERT_TRUE(RunHelperDenoise(Places(BuiltProgramDir(), ScratchDir().path()), engine, viaHelper, 48000, 2, error,
                                 level))
        << error;
    ASSERT_TRUE(DenoiseAtStrength({engine.modulePath, "x"}, direct, 48000, 2, &error, nullptr,
                                  ReductionOffsetForLevel(level), nullptr));
    EXPECT_EQ(viaHelper, direct) << "level " << level;
    EXPECT_FALSE(engine.nativeApplied);
    EXPECT_TRUE(LeftoverTempFiles().empty());
  }
}

TEST(HelperProtocol, TempNamesCarryProcessIdAndConsecutiveNumbersInThePrivateFolder) {
  const fs::path a = MakeHelperTempPath("in"), b = MakeHelperTempPath("out");
  const std::string an = PathToUtf8(a.filename()), bn = PathToUtf8(b.filename());
  unsigned long pa = 0, pb = 0;
  unsigned na = 0, nb = 0;
  ASSERT_EQ(std::sscanf(an.c_str(), "vesk-%lu-%u-dn32-in.bin", &pa, &na), 2) << an;
  ASSERT_EQ(std::sscanf(bn.c_str(), "vesk-%lu-%u-dn32-out.bin", &pb, &nb), 2) << bn;
  EXPECT_EQ(pa, CurrentProcessId());
  EXPECT_EQ(nb, na + 1);
  EXPECT_EQ(a.parent_path(), PrivateTempDir());
}

TEST(HelperProtocol, RefusesAHelperOfAnotherVersionOrWithoutOne) {
  const struct {
    std::string version;  // empty: a truncated file without a marker
    std::string expected;
  } cases[] = {
      {"0.9.999", "程序目录里的 VeskDenoise32 是 0.9.999，跟主程序（" + OwnProductVersion() +
                      "）对不上 —— 删掉这个文件，程序会自动改用内嵌的那份。"},
      {"", "程序目录里的 VeskDenoise32 版本读不出来（文件不完整？）—— 删掉它，程序会自动改用内嵌的那份。"},
  };
  for (const auto& c : cases) {
    ScratchDir programDir, userDir;
    if (c.version.empty()) WriteBytes(programDir / HelperFileName(), {0x7F, 'E', 'L', 'F'});
    else CopyHelperWithVersion(programDir / HelperFileName(), c.version);
    DenoiseEngine engine = FixtureEngine();
    std::vector<float> samples = Noise(1000, 0.1f);
    const std::vector<float> before = samples;
    std::string error;
    EXPECT_FALSE(RunHelperDenoise(Places(programDir.path(), userDir.path()), engine, samples, 48000, 1, error, 1));
    EXPECT_EQ(error, c.expected);
    EXPECT_EQ(samples, before);
  }
}

TEST(HelperProtocol, ExtractsTheEmbeddedCopyWhenNoneStandsNextToTheProgram) {
  ScratchDir programDir, userRoot;
  const fs::path userDir = userRoot / "VeskRecorder";
  const HelperPlaces places = Places(programDir.path(), userDir);
  const fs::path helper = LocateHelper(places);
  ASSERT_EQ(helper, userDir / HelperFileName());
  std::string embedded, built;
  ASSERT_TRUE(ReadWholeFile(helper, embedded));
  ASSERT_TRUE(ReadWholeFile(BuiltHelper(), built));
  EXPECT_TRUE(embedded == built) << "byte-identical copy";
  EXPECT_FALSE(fs::exists(userDir / (std::string(HelperFileName()) + ".tmp")));

  // An outdated copy is replaced; a current one is used as is.
  CopyHelperWithVersion(helper, "0.0.001");
  EXPECT_EQ(LocateHelper(places), helper);
  EXPECT_EQ(ReadProductVersion(helper), OwnProductVersion());

  DenoiseEngine engine = FixtureEngine();
  std::vector<float> samples = Noise(5000, 0.003f);
  std::string error;
  EXPECT_TRUE(RunHelperDenoise(places, engine, samples, 48000, 1, error, 2)) << error;
}

// A stand-in helper (a script carrying the right version marker) whose exit
// code and report the test chooses.
void WriteScriptHelper(const fs::path& path, int exitCode, bool withError) {
  std::string script =
      "#!/bin/sh\n"
      "while [ $# -gt 1 ]; do case \"$1\" in --in) in=\"$2\";; --out) out=\"$2\";; esac; shift; done\n"
      "cp \"$in\" \"$out\"\n";
  script += withError ? "printf 'ok=0\\narch=32\\nms=0\\nengine=\\nerr=插件崩了\\r\\n' > \"$out.log\"\n"
                      : "printf 'ok=0\\n' > \"$out.log\"\n";
  script += "exit " + std::to_string(exitCode) + "\n";
  script += std::string("VESK-PRODUCT-VERSION=") + OwnProductVersion() + '\0' + "\n";
  WriteBytes(path, std::vector<uint8_t>(script.begin(), script.end()));
  chmod(path.c_str(), 0755);
}

TEST(HelperProtocol, DoesNotUseRightSizedOutputOfAFailedHelper) {
  const struct {
    bool withError;
    std::string expected;
  } cases[] = {{true, "32 位降噪失败：插件崩了"}, {false, "32 位降噪失败（辅助程序退出码 3）"}};
  for (const auto& c : cases) {
    ScratchDir programDir, userDir;
    WriteScriptHelper(programDir / HelperFileName(), 3, c.withError);
    DenoiseEngine engine = FixtureEngine();
    std::vector<float> samples = Noise(1000, 0.1f);
    const std::vector<float> before = samples;
    std::string error;
    EXPECT_FALSE(RunHelperDenoise(Places(programDir.path(), userDir.path()), engine, samples, 48000, 1, error, 1));
    EXPECT_EQ(error, c.expected);
    EXPECT_EQ(samples, before);
    EXPECT_TRUE(LeftoverTempFiles().empty());
  }
}

TEST(HelperProgram, WithoutOutWritesDotLogAndExitsWithOne) {
  ScratchDir dir;
  const int rc = Shell("cd '" + PathToUtf8(dir.path()) + "' && '" + PathToUtf8(BuiltHelper()) +
                       "' --plugin x --in y --rate");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(ReadText(dir / ".log"), "ok=0\narch=32\nms=0\nengine=\nerr=参数不完整（需要 --plugin/--in/--out）\n");
}

TEST(HelperProgram, ReportsPluginErrorsWithTheModuleName) {
  ScratchDir dir;
  WriteBytes(dir / "in.bin", std::vector<uint8_t>(4000, 0));
  const fs::path out = dir / "out.bin";
  const int rc = Shell("'" + PathToUtf8(BuiltHelper()) + "' --plugin /nowhere/Bad.so --in '" +
                       PathToUtf8(dir / "in.bin") + "' --out '" + PathToUtf8(out) + "' --ch 1");
  EXPECT_EQ(rc, 1);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(ReadHelperError(dir / "out.bin.log").rfind("Bad.so：模块加载失败：/nowhere/Bad.so: cannot open", 0), 0u)
      << ReadText(dir / "out.bin.log");
}

}  // namespace
}  // namespace vesk
