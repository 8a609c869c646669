// Plug-in discovery on temporary VST3 folder trees, and the pure parts of
// engine selection.
#include <gtest/gtest.h>

#include "denoise/denoise_engine.h"
#include "denoise/helper_client.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {
using namespace vesk::test;
namespace fs = std::filesystem;

// A module file whose header says x64 (1) or x86 (2) in this platform's
// module format; the rest of the file does not matter to discovery.
std::vector<uint8_t> ModuleHeader(int arch) {
  std::vector<uint8_t> b(512, 0);
  if (std::string(BundleModuleSuffix()) == ".so") {
    const uint8_t ident[] = {0x7F, 'E', 'L', 'F', uint8_t(arch == 1 ? 2 : 1), 1, 1};
    std::copy(std::begin(ident), std::end(ident), b.begin());
    b[18] = arch == 1 ? 62 : 3;
  } else {
    b[0] = 'M';
    b[1] = 'Z';
    b[60] = 0x80;
    b[0x80] = 'P';
    b[0x81] = 'E';
    b[0x84] = arch == 1 ? 0x64 : 0x4C;
    b[0x85] = arch == 1 ? 0x86 : 0x01;
  }
  return b;
}

std::string SubFolderFor(int arch) {
  for (const std::string& s : BundleSubFolders()) {
    const bool is32 = s.find("i386") != std::string::npos || s.find("x86-win") != std::string::npos;
    if ((arch == 2) == is32) return s;
  }
  return {};
}

// Installs a bundle <root>/<relative>/<name> with a module of the given arch.
void MakeBundle(const fs::path& root, const std::string& relative, const std::string& name, int arch) {
  const fs::path dir = root / relative / name / SubFolderFor(arch);
  fs::create_directories(dir);
  const std::string stem = name.substr(0, name.size() - 5);
  WriteBytes(dir / (stem + BundleModuleSuffix()), ModuleHeader(arch));
}

DenoiseEngine Discover(const fs::path& root) {
  const std::vector<DenoiseCandidate> c = ScanForDenoisePlugins({root});
  DenoiseEngine e;
  const int chosen = ChooseDenoiseCandidate(c, "");
  if (chosen >= 0) {
    e.modulePath = c[size_t(chosen)].modulePath;
    e.fileName = c[size_t(chosen)].fileName;
    e.architecture = c[size_t(chosen)].architecture;
  }
  return e;
}

TEST(Discovery, HigherVersionWinsRegardlessOfArchitecture) {
  ScratchDir root;
  MakeBundle(root.path(), "", "RX 10 Voice De-noise.vst3", 1);
  MakeBundle(root.path(), "iZotope", "RX 11 Voice De-noise.vst3", 2);
  const DenoiseEngine e = Discover(root.path());
  EXPECT_EQ(e.fileName, "RX 11 Voice De-noise.vst3");
  EXPECT_EQ(e.architecture, 2);
}

TEST(Discovery, SixtyFourBitWinsAtEqualVersions) {
  ScratchDir a, b;
  MakeBundle(a.path(), "", "RX 11 Voice De-noise.vst3", 2);
  MakeBundle(b.path(), "", "RX 11 Voice De-noise.vst3", 1);
  const std::vector<DenoiseCandidate> c = ScanForDenoisePlugins({a.path(), b.path()});
  ASSERT_EQ(c.size(), 2u);
  const int chosen = ChooseDenoiseCandidate(c, "");
  EXPECT_EQ(chosen, 1);
  EXPECT_EQ(c[1].architecture, 1);
}

TEST(Discovery, AtEqualVersionAndArchitectureTheNameWithFewerCharactersWins) {
  // 22 characters in 26 bytes against 24 in 24.
  const std::vector<DenoiseCandidate> c = {{"a", "Voice De-noise Plus.vst3", 1}, {"b", "Voice De-noise 降噪.vst3", 1},
                                           {"c", "RX 2 Voice De-noise Plus Extra.vst3", 2}};
  EXPECT_EQ(ChooseDenoiseCandidate(c, ""), 2) << "a version still comes first";
  EXPECT_EQ(ChooseDenoiseCandidate({c[0], c[1]}, ""), 1);
}

TEST(Discovery, SpectralDenoiseAloneIsNoCandidate) {
  ScratchDir root;
  MakeBundle(root.path(), "", "RX 11 Spectral De-noise.vst3", 1);
  EXPECT_EQ(ScanForDenoisePlugins({root.path()}).size(), 1u) << "passes the scan filter";
  EXPECT_TRUE(Discover(root.path()).modulePath.empty()) << "but not the candidate filter";
}

TEST(Discovery, SearchesThreeLevelsBelowTheRootButNotFour) {
  ScratchDir three, four;
  MakeBundle(three.path(), "a/b/c", "Voice De-noise.vst3", 1);
  MakeBundle(four.path(), "a/b/c/d", "Voice De-noise.vst3", 1);
  EXPECT_FALSE(Discover(three.path()).modulePath.empty());
  EXPECT_TRUE(Discover(four.path()).modulePath.empty());
}

TEST(Discovery, ThirtyTwoBitOnlyBundleGoesThroughTheHelper) {
  ScratchDir root;
  MakeBundle(root.path(), "", "Voice De-noise.vst3", 2);
  const DenoiseEngine e = Discover(root.path());
  EXPECT_EQ(e.architecture, 2);
  EXPECT_NE(PathToUtf8(e.modulePath).find(SubFolderFor(2).substr(0, 8)), std::string::npos);
}

TEST(Discovery, ReadsTheFolderListAndPreferredNameFromTheEnvironment) {
  ScratchDir a, b;
  MakeBundle(a.path(), "", "RX 11 Voice De-noise.vst3", 1);
  MakeBundle(b.path(), "", "RX 7 Voice De-noise.vst3", 1);
  const std::string list = PathToUtf8(a.path()) + ";;" + PathToUtf8(b.path());
#ifdef _WIN32
  _putenv_s("VESK_VST3_PATH", list.c_str());
  _putenv_s("VESK_DENOISE_PLUGIN", "RX 7");
#else
  setenv("VESK_VST3_PATH", list.c_str(), 1);
  setenv("VESK_DENOISE_PLUGIN", "RX 7", 1);
#endif
  DenoiseEngine e;
  DiscoverDenoisePlugin(e);
#ifdef _WIN32
  _putenv_s("VESK_VST3_PATH", "");
  _putenv_s("VESK_DENOISE_PLUGIN", "");
#else
  unsetenv("VESK_VST3_PATH");
  unsetenv("VESK_DENOISE_PLUGIN");
#endif
  EXPECT_TRUE(e.discovered);
  EXPECT_EQ(e.fileName, "RX 7 Voice De-noise.vst3");
  EXPECT_EQ(e.displayName, "RX 7 Voice De-noise");
}

TEST(Discovery, DisplayNameMarksThirtyTwoBitModules) {
  ScratchDir root;
  MakeBundle(root.path(), "", "Voice De-noise.vst3", 2);
  const std::string list = PathToUtf8(root.path());
#ifdef _WIN32
  _putenv_s("VESK_VST3_PATH", list.c_str());
#else
  setenv("VESK_VST3_PATH", list.c_str(), 1);
#endif
  DenoiseEngine e;
  DiscoverDenoisePlugin(e);
#ifdef _WIN32
  _putenv_s("VESK_VST3_PATH", "");
#else
  unsetenv("VESK_VST3_PATH");
#endif
  EXPECT_EQ(e.displayName, "Voice De-noise（32 位）");
}

TEST(Discovery, MissingPluginFailsTheRenderWithTheUserText) {
  DenoiseEngine e;
  e.discovered = true;
  std::vector<float> samples(10, 0.5f);
  std::string error;
  EXPECT_FALSE(RunDenoise(e, samples, 48000, 1, error, 1));
  EXPECT_EQ(error, "未检测到 RX Voice De-noise 插件");
  EXPECT_FALSE(DenoiseAvailable(e));
}

TEST(RxVersionOf, FindsTheFirstRxFollowedByANumber) {
  const std::pair<const char*, unsigned> cases[] = {
      {"RX 11 Voice De-noise.vst3", 11}, {"rx_10 voice de-noise", 10}, {"Voice De-noise", 0},
      {"Proxy RX-9 Voice", 9},           {"RX  _-7", 7},                {"rxa rx", 0}};
  for (const auto& [name, version] : cases) EXPECT_EQ(RxVersionOf(name), version) << name;
}

TEST(ModuleHeaders, MapMachinesToArchitectures) {
  std::vector<uint8_t> pe64 = ModuleHeader(1), notPe(100, 0);
  std::vector<uint8_t> shortFile(10, 'M');
  if (std::string(BundleModuleSuffix()) == ".so") {
    EXPECT_EQ(ElfArchOf(pe64.data(), pe64.size()), 1);
    std::vector<uint8_t> x86 = ModuleHeader(2);
    EXPECT_EQ(ElfArchOf(x86.data(), x86.size()), 2);
    x86[18] = 40;  // ARM
    EXPECT_EQ(ElfArchOf(x86.data(), x86.size()), 0);
  } else {
    EXPECT_EQ(PeArchOf(pe64.data(), pe64.size()), 1);
    std::vector<uint8_t> x86 = ModuleHeader(2);
    EXPECT_EQ(PeArchOf(x86.data(), x86.size()), 2);
  }
  std::vector<uint8_t> pe(200, 0);
  pe[0] = 'M', pe[1] = 'Z', pe[60] = 190;  // e_lfanew + 6 beyond the bytes read
  EXPECT_EQ(PeArchOf(pe.data(), pe.size()), 0);
  EXPECT_EQ(PeArchOf(notPe.data(), notPe.size()), 0);
  EXPECT_EQ(PeArchOf(shortFile.data(), shortFile.size()), 0);
  EXPECT_EQ(ElfArchOf(shortFile.data(), shortFile.size()), 0);
}

TEST(StrengthSuffix, NamesNativeValueOrTheFallbackOfTheLastLevel) {
  DenoiseEngine e;
  e.nativeApplied = true;
  e.nativeValue = -18;
  EXPECT_EQ(StrengthSuffix(e), "（原生：-18.0 dB）");
  e.nativeApplied = false;
  const std::pair<unsigned, const char*> cases[] = {{0, "（回退：两遍）"}, {1, "（默认力度）"}, {2, "（回退：混合）"}};
  for (const auto& [level, text] : cases) {
    e.lastLevel = level;
    EXPECT_EQ(StrengthSuffix(e), text);
  }
  EXPECT_EQ(ReductionOffsetForLevel(0), 6.0);
  EXPECT_EQ(ReductionOffsetForLevel(1), 0.0);
  EXPECT_EQ(ReductionOffsetForLevel(2), -6.0);
}

TEST(HelperExchange, RefusesExactlyTwoGibibytesOfSamples) {
  EXPECT_FALSE(HelperExchangeFits(uint64_t(1) << 29));
  EXPECT_TRUE(HelperExchangeFits((uint64_t(1) << 29) - 1));
}

}  // namespace
}  // namespace vesk
