#pragma once
// Access to the test VST3 plug-in built next to the test program, and to the
// counters it exports.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "denoise/denoise_engine.h"
#include "platform/module.h"
#include "support/signal.h"
#include "support/test_support.h"

namespace vesk::test {

// Variants: "voice_denoise", "no_reduction", "fault_connect", "fault_process"
// (faults inside process), "hang_process" (never returns from process).
inline std::filesystem::path FixtureModule(const std::string& variant) {
  return BuiltProgramDir() / "fixtures" / variant / (std::string("VeskTest Voice De-noise") + BundleModuleSuffix());
}

struct FixtureStats {
  int32_t processCalls;
  int32_t minBlock;
  int32_t maxBlock;
  int32_t blocksWithChanges;
  double lastReductionFromChanges;
  int32_t connects;
  int32_t componentStatesReceived;
  int32_t instancesAlive;
  int32_t processMode;
  int32_t hostNameOk;
};

inline void* FixtureHandle(const std::filesystem::path& module) { return LoadModule(module, false).handle; }

inline void ResetFixture(const std::filesystem::path& module) {
  if (auto f = reinterpret_cast<void (*)()>(ModuleSymbol(FixtureHandle(module), "VeskFixtureReset"))) f();
}

inline FixtureStats ReadFixture(const std::filesystem::path& module) {
  FixtureStats s{};
  if (auto f = reinterpret_cast<void (*)(FixtureStats*)>(ModuleSymbol(FixtureHandle(module), "VeskFixtureStats")))
    f(&s);
  return s;
}

// Copies a module into <root>/<bundle>/<subFolder>/ as a VST3 bundle.
inline std::filesystem::path InstallBundle(const std::filesystem::path& root, const std::string& bundle,
                                           const std::string& subFolder, const std::filesystem::path& module) {
  const std::filesystem::path dir = root / bundle / subFolder;
  std::filesystem::create_directories(dir);
  const std::filesystem::path target = dir / module.filename();
  std::filesystem::copy_file(module, target, std::filesystem::copy_options::overwrite_existing);
  return target;
}

}  // namespace vesk::test
