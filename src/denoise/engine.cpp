#include "denoise/denoise_engine.h"
#include "denoise/helper_client.h"
#include "denoise/vst3_host.h"
#include "platform/text.h"

namespace vesk {

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
