#include <map>
#include <mutex>

#include "denoise/denoise_engine.h"
#include "denoise/helper_client.h"
#include "denoise/plugin_probe.h"
#include "denoise/vst3_host.h"
#include "platform/text.h"

namespace vesk {

namespace {

// The builds of modules loaded into this process, as they were on disk
// then. Loaded modules stay loaded, and the loader hands the old code back
// for the same path, so a module rebuilt or replaced since runs out of
// process from then on.
std::mutex loadedMutex;
std::map<std::filesystem::path, ModuleStamp> loadedBuilds;

// True when the module may be loaded here: not loaded yet (its build as it
// is now is remembered as the one loaded), or loaded as it is now.
bool SameBuildInProcess(const std::filesystem::path& module) {
  ModuleStamp now;
  if (!ReadModuleStamp(module, now)) return true;
  std::lock_guard<std::mutex> lock(loadedMutex);
  const auto [it, inserted] = loadedBuilds.try_emplace(module, now);
  return inserted || it->second == now;
}

std::string ProbeRefusal(const DenoiseEngine& engine, const ProbeVerdict& verdict) {
  return "降噪插件「" + engine.displayName + "」试运行没通过，没有加载：" + verdict.reason;
}

}  // namespace

bool RunDenoise(DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                std::string& error, unsigned level) {
  if (!engine.discovered) DiscoverDenoisePlugin(engine);
  if (engine.builtin) {
    engine.lastLevel = level;
    engine.nativeApplied = false;
    engine.nativeValue = 0;
    return RunBuiltinDenoise(samples, rate, channels, level, engine.noiseProfile, error, &engine.builtinNote);
  }
  if (engine.modulePath.empty()) {
    error = "未检测到 RX Voice De-noise 插件";
    return false;
  }
  engine.lastLevel = level;
  if (engine.architecture != 2) {
    const HelperPlaces places = DefaultHelperPlaces();
    const ProbeVerdict verdict = CheckPluginModule(engine, places);
    if (verdict.outcome != ProbeOutcome::Passed) {
      error = ProbeRefusal(engine, verdict);
      return false;
    }
    if (PluginIsolationOn(engine.isolateChoice, verdict.everFailed) || !SameBuildInProcess(engine.modulePath))
      return RunIsolatedDenoise(places, engine, samples, rate, channels, error, level);
    const PluginRef plugin{engine.modulePath, engine.fileName};
    double native = 0;
    const bool ok =
        DenoiseAtStrength(plugin, samples, rate, channels, &error, nullptr, ReductionOffsetForLevel(level), &native);
    engine.nativeApplied = ok && native != 0;
    engine.nativeValue = native;
    return ok;
  }
  return RunHelperDenoise(engine, samples, rate, channels, error, level);
}

bool DenoiseAvailable(DenoiseEngine& engine) {
  if (engine.builtin) return true;
  if (engine.modulePath.empty()) return false;
  if (engine.architecture != 2) return true;
  return !LocateHelper().empty();
}

std::string StrengthSuffix(const DenoiseEngine& engine) {
  if (engine.builtin) {
    const char* level = engine.lastLevel == 0 ? "激进" : engine.lastLevel == 2 ? "轻柔" : "均衡";
    return std::string(kBuiltinEngineName) + "·" + level + (engine.builtinNote.empty() ? "" : "，无语音模型");
  }
  if (engine.nativeApplied) return Format("（原生：%.1f dB）", engine.nativeValue);
  switch (engine.lastLevel) {
    case 0:
      return "（回退：两遍）";
    case 2:
      return "（回退：混合）";
    default:
      return "（默认力度）";
  }
}

}  // namespace vesk
