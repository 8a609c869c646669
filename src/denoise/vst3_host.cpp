#include "denoise/vst3_host.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

#include "denoise/vst3_api.h"
#include "denoise/vst3_host_objects.h"
#include "platform/fault_guard.h"
#include "platform/module.h"
#include "platform/text.h"

namespace vesk {
using namespace vst;

namespace {

std::atomic<bool> firstProcessLogged{false};

std::string Fixed(const char* text, size_t max) {
  size_t n = 0;
  while (n < max && text[n]) ++n;
  return std::string(text, n);
}

// A UTF-16 title narrowed unit by unit and lower-cased.
std::string NarrowTitle(const TChar* title) {
  std::string out;
  for (size_t i = 0; i < 128 && title[i]; ++i)
    out += title[i] < 128 ? char(std::tolower(int(title[i]))) : '?';
  return out;
}

// Modules stay loaded for the life of the process. The module entry is
// called once, on the first load, and paired with nothing: the module is
// never unloaded, so its exit would only tear down state still in use.
struct LoadedModule {
  void* handle = nullptr;
};
std::mutex modulesMutex;
std::map<std::filesystem::path, LoadedModule> loadedModules;

struct LoadOutcome {
  void* handle = nullptr;
  unsigned long systemError = 0;
  std::string detail;
  bool searchChanged = false;
};

LoadOutcome LoadPluginModule(const std::filesystem::path& path) {
  std::lock_guard<std::mutex> lock(modulesMutex);
  LoadOutcome out;
  auto it = loadedModules.find(path);
  if (it != loadedModules.end()) {
    out.handle = it->second.handle;
    return out;
  }
  ModuleLoadResult r = LoadModule(path, true);
  out.searchChanged = r.searchPathChanged;
  out.systemError = r.systemError;
  out.detail = r.detail;
  if (!r.handle) return out;
  using LinuxEntry = bool (*)(void*);
  using WinEntry = bool (*)();
  if (auto entry = reinterpret_cast<LinuxEntry>(ModuleSymbol(r.handle, "ModuleEntry"))) entry(r.handle);
  else if (auto init = reinterpret_cast<WinEntry>(ModuleSymbol(r.handle, "InitDll"))) init();
  loadedModules[path].handle = r.handle;
  out.handle = r.handle;
  return out;
}

// Everything one render holds; released in the order of the teardown.
struct Render {
  const PluginRef& plugin;
  std::string* error;
  IPluginFactory* factory = nullptr;
  IComponent* component = nullptr;
  IEditController* controller = nullptr;
  bool separateController = false;
  IAudioProcessor* processor = nullptr;
  FUnknown* compPoint = nullptr;
  FUnknown* ctrlPoint = nullptr;
  bool searchChanged = false;

  // Every factory pointer the module hands out is the caller's to release.
  ~Render() {
    if (factory) factory->release();
  }

  bool Fail(const std::string& message) {
    HostLog("FAIL: %s", message.c_str());
    if (error) *error = plugin.displayName + "：" + message;
    return false;
  }

  // Releases what exists before processing was set up.
  void ReleaseEarly() {
    if (processor) processor->release();
    processor = nullptr;
    if (component) {
      component->terminate();
      component->release();
      component = nullptr;
    }
    if (controller) {
      if (separateController) controller->terminate();
      controller->release();
      controller = nullptr;
    }
    RestoreSearch();
  }

  void RestoreSearch() {
    if (searchChanged) RestoreModuleSearch();
    searchChanged = false;
  }
};

int PickAudioClass(IPluginFactory* factory, TUID cid, std::string& name) {
  static const char* const kKeywords[] = {"de-noise", "denoise", "noise"};
  const int32 count = factory->countClasses();
  HostLog("  countClasses = %d", count);
  int picked = -1;
  for (int32 i = 0; i < count; ++i) {
    PClassInfo info;
    std::memset(&info, 0, sizeof info);
    if (factory->getClassInfo(i, &info) != kResultOk) continue;
    const std::string category = Fixed(info.category, 32);
    const std::string className = Fixed(info.name, 64);
    HostLog("  class[%d] category=\"%s\" name=\"%s\"", i, category.c_str(), className.c_str());
    if (category != kVstAudioEffectClass) continue;
    const std::string lower = AsciiLower(className);
    bool keyword = false;
    for (const char* k : kKeywords) keyword = keyword || lower.find(k) != std::string::npos;
    if (picked < 0 || keyword) {
      picked = i;
      std::memcpy(cid, info.cid, 16);
      name = className;
    }
    if (keyword) break;
  }
  return picked;
}

void FindController(Render& r, IPluginFactory* factory) {
  void* obj = nullptr;
  if (r.component->queryInterface(kIidEditController.bytes, &obj) == kResultOk && obj) {
    r.controller = static_cast<IEditController*>(obj);
    r.separateController = false;
  } else {
    TUID cid;
    bool haveId = false;
    const int32 count = factory->countClasses();
    for (int32 i = 0; i < count; ++i) {
      PClassInfo info;
      std::memset(&info, 0, sizeof info);
      if (factory->getClassInfo(i, &info) != kResultOk) continue;
      const std::string category = Fixed(info.category, 32);
      const std::string name = Fixed(info.name, 64);
      HostLog("  factory class[%d] cat=\"%s\" name=\"%s\"", i, category.c_str(), name.c_str());
      if (category.size() >= 10 && category.find("Controller") != std::string::npos) {
        HostLog("  controller via factory scan: %s", name.c_str());
        std::memcpy(cid, info.cid, 16);
        haveId = true;
        break;
      }
    }
    if (!haveId) haveId = r.component->getControllerClassId(cid) == kResultOk;
    if (haveId) {
      void* ctrl = nullptr;
      tresult res = factory->createInstance(cid, kIidEditController.bytes, &ctrl);
      HostLog("  createInstance(controller) -> 0x%08X", unsigned(res));
      if (res != kResultOk || !ctrl) {
        ctrl = nullptr;
        void* probe = nullptr;
        res = factory->createInstance(cid, kIidFUnknown.bytes, &probe);
        HostLog("  probe createInstance(FUnknown) -> 0x%08X obj=%d", unsigned(res), probe ? 1 : 0);
        if (res == kResultOk && probe) {
          FUnknown* unknown = static_cast<FUnknown*>(probe);
          res = unknown->queryInterface(kIidEditController.bytes, &ctrl);
          HostLog("  probe queryInterface(IEditController) -> 0x%08X", unsigned(res));
          if (res != kResultOk) ctrl = nullptr;
          unknown->release();
        }
      }
      if (ctrl) {
        r.controller = static_cast<IEditController*>(ctrl);
        r.separateController = true;
      }
    }
  }
}

struct ConnectCall {
  IConnectionPoint* compPoint;
  IConnectionPoint* ctrlPoint;
};

void ConnectBody(void* context) {
  auto* c = static_cast<ConnectCall*>(context);
  const tresult a = c->ctrlPoint->connect(c->compPoint);
  HostLog("  ctrl->connect(comp) -> 0x%08X", unsigned(a));
  const tresult b = c->compPoint->connect(c->ctrlPoint);
  HostLog("  comp->connect(ctrl) -> 0x%08X", unsigned(b));
}

struct StateCall {
  IComponent* component;
  IEditController* controller;
  MemStream* stream;
};

void SyncControllerStateBody(void* context) {
  auto* c = static_cast<StateCall*>(context);
  const tresult got = c->component->getState(c->stream);
  HostLog("  comp->getState -> 0x%08X (%d bytes)", unsigned(got), int(c->stream->Size()));
  if (got == kResultOk && c->stream->Size() >= 1) {
    c->stream->seek(0, kIBSeekSet, nullptr);
    const tresult set = c->controller->setComponentState(c->stream);
    HostLog("  ctrl->setComponentState -> 0x%08X", unsigned(set));
  }
}

void LinkControllerAndSyncState(Render& r) {
  void* compPoint = nullptr;
  void* ctrlPoint = nullptr;
  if (r.component->queryInterface(kIidConnectionPoint.bytes, &compPoint) != kResultOk) compPoint = nullptr;
  if (r.controller->queryInterface(kIidConnectionPoint.bytes, &ctrlPoint) != kResultOk) ctrlPoint = nullptr;
  HostLog("  connection points: comp=%d ctrl=%d", compPoint ? 1 : 0, ctrlPoint ? 1 : 0);
  uint32_t fault = 0;
  if (compPoint && ctrlPoint) {
    ConnectCall call{static_cast<IConnectionPoint*>(compPoint), static_cast<IConnectionPoint*>(ctrlPoint)};
    if (!RunFaultGuarded(ConnectBody, &call, fault))
      HostLog("  connect crashed (0x%08X) —— 忽略，继续按未连接渲染", unsigned(fault));
  }
  r.compPoint = static_cast<FUnknown*>(compPoint);
  r.ctrlPoint = static_cast<FUnknown*>(ctrlPoint);
  MemStream stream;
  StateCall state{r.component, r.controller, &stream};
  if (!RunFaultGuarded(SyncControllerStateBody, &state, fault))
    HostLog("  state sync crashed (0x%08X) —— 忽略", unsigned(fault));
}

// Frames of interleaved audio into the planar block (channel c at
// c·1024); the rest of each channel's block is zeroed.
void DeinterleaveBlock(const float* src, float* block, size_t n, uint32_t channels) {
  if (channels == 2) {
    float* left = block;
    float* right = block + kRenderBlockFrames;
    for (size_t i = 0; i < n; ++i) {
      left[i] = src[2 * i];
      right[i] = src[2 * i + 1];
    }
  } else {
    std::copy(src, src + n, block);
  }
  for (uint32_t c = 0; c < channels; ++c)
    std::fill(block + size_t(c) * kRenderBlockFrames + n, block + size_t(c + 1) * kRenderBlockFrames, 0.0f);
}

// `block` points at the first frame to take in channel 0 of the planar block.
void InterleaveBlock(const float* block, float* dst, size_t n, uint32_t channels) {
  if (channels == 2) {
    const float* left = block;
    const float* right = block + kRenderBlockFrames;
    for (size_t i = 0; i < n; ++i) {
      dst[2 * i] = left[i];
      dst[2 * i + 1] = right[i];
    }
  } else {
    std::copy(block, block + n, dst);
  }
}

bool InRange(double v) { return v > -1e9 && v < 1e9; }

// Moves the Reduction parameter; returns true with the plain value when set.
bool SetReduction(IEditController* controller, double offset, ParamChangesImpl& changes, double& nativeValue) {
  const int32 count = controller->getParameterCount();
  HostLog("  controller getParamCount=%d", count);
  bool set = false;
  for (int32 i = 0; i < count; ++i) {
    ParameterInfo info;
    std::memset(&info, 0, sizeof info);
    const tresult res = controller->getParameterInfo(i, info);
    HostLog("  getParamInfo(%d) -> 0x%08X", i, unsigned(res));
    if (res != kResultOk) continue;
    const std::string title = NarrowTitle(info.title);
    const double defNorm = info.defaultNormalizedValue;
    const double defPlain = controller->normalizedParamToPlain(info.id, defNorm);
    HostLog("  param[%d] id=%u title=\"%s\" defNorm=%.4f defPlain=%.2f", i, unsigned(info.id), title.c_str(), defNorm,
            defPlain);
    if (title.find("reduc") == std::string::npos) continue;
    if (!InRange(defPlain)) {
      HostLog("  default plain 不可解析，等级退化");
      break;
    }
    const double target = defPlain >= 0 ? defPlain + offset : defPlain - offset;
    double norm = controller->plainParamToNormalized(info.id, target);
    // NaN counts as out of range too: it would otherwise reach the plug-in.
    if (!(norm >= 0.0 && norm <= 1.0)) {
      const double clamped = norm > 1.0 ? 1.0 : 0.0;
      HostLog("  目标 plain=%.2f 超出参数范围（norm=%.4f），clamp 到 %.0f", target, norm, clamped);
      norm = clamped;
    }
    const double roundtrip = controller->normalizedParamToPlain(info.id, norm);
    HostLog("  defPlain=%.2f targetPlain=%.2f norm=%.4f roundtrip=%.2f", defPlain, target, norm, roundtrip);
    const double norm2 = controller->plainParamToNormalized(info.id, roundtrip);
    if (!InRange(roundtrip) || !(std::fabs(norm2 - norm) <= 0.01)) {
      HostLog("  换算校验失败（norm2=%.4f），等级退化", norm2);
      break;
    }
    int32 index = 0;
    if (IParamValueQueue* queue = changes.addParameterData(&info.id, &index)) {
      int32 pointIndex = 0;
      queue->addPoint(0, norm, pointIndex);
    }
    controller->setParamNormalized(info.id, norm);
    nativeValue = roundtrip;
    set = true;
    break;
  }
  if (!set) HostLog("  没找到 Reduction 参数，按默认值渲染");
  return set;
}

}  // namespace

bool RenderThroughPlugin(const PluginRef& plugin, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                         double reductionOffset, std::string* error, std::string* className, double* nativeValue,
                         bool* applied) {
  if (nativeValue) *nativeValue = 0;
  if (applied) *applied = false;
  Render r{plugin, error};

  // 1. Checks.
  if (channels != 1 && channels != 2) return r.Fail("只支持单声道/立体声");
  if (samples.empty()) return r.Fail("没有音频数据");
  const size_t frames = samples.size() / channels;
  HostLog("=== load %s (rate=%u ch=%u frames=%llu)", NarrowToAscii(plugin.displayName).c_str(), rate, channels,
          (unsigned long long)frames);

  // 2.-3. Module, searched with its own folder first for its dependencies.
  LoadOutcome loaded = LoadPluginModule(plugin.modulePath);
  r.searchChanged = loaded.searchChanged;
  if (!loaded.handle) {
    if (!loaded.detail.empty()) HostLog("  loader: %s", loaded.detail.c_str());
    r.RestoreSearch();
    // The loader's own reason says more than its error number.
    return r.Fail(loaded.detail.empty() ? "模块加载失败（错误码 " + std::to_string(loaded.systemError) + "）"
                                        : "模块加载失败：" + loaded.detail);
  }

  // 4. Factory and host context.
  void* sym = ModuleSymbol(loaded.handle, "GetPluginFactory");
  if (!sym) sym = ModuleSymbol(loaded.handle, "_GetPluginFactory@0");
  if (!sym) {
    r.RestoreSearch();
    return r.Fail("没有 GetPluginFactory 导出（不是 VST3 模块）");
  }
  IPluginFactory* factory = reinterpret_cast<GetFactoryProc>(sym)();
  if (!factory) {
    r.RestoreSearch();
    return r.Fail("GetPluginFactory 返回空");
  }
  r.factory = factory;
  HostContext host;
  void* f3 = nullptr;
  if (factory->queryInterface(kIidPluginFactory3.bytes, &f3) == kResultOk && f3) {
    static_cast<IPluginFactory3*>(f3)->setHostContext(host.App());
    static_cast<IPluginFactory3*>(f3)->release();
    HostLog("  IPluginFactory3 acquired, host context set");
  } else {
    HostLog("  no IPluginFactory3");
  }

  // 5. Class choice.
  TUID cid;
  std::string picked;
  if (PickAudioClass(factory, cid, picked) < 0) {
    r.RestoreSearch();
    return r.Fail("模块里没有音频效果类（Audio Module Class）");
  }
  HostLog("  picked class: %s", picked.c_str());
  if (className) *className = picked;

  // 6. Component.
  void* comp = nullptr;
  if (factory->createInstance(cid, kIidComponent.bytes, &comp) != kResultOk || !comp) {
    r.RestoreSearch();
    return r.Fail("创建插件实例失败");
  }
  r.component = static_cast<IComponent*>(comp);
  const tresult init = r.component->initialize(host.App());
  if (init != kResultOk) HostLog("  initialize 返回 0x%08X（继续尝试）", unsigned(init));

  // 7. Edit controller, only when a parameter is going to move.
  if (reductionOffset != 0) {
    FindController(r, factory);
    if (r.controller && r.separateController) {
      const tresult res = r.controller->initialize(host.App());
      HostLog("  controller initialize -> 0x%08X", unsigned(res));
    }
    if (!r.controller) {
      HostLog("  no edit controller —— 等级参数退化，按默认值渲染");
    } else {
      r.controller->setComponentHandler(host.Handler());
      HostLog("  edit controller ready (separate=%d)", r.separateController ? 1 : 0);
    }
  }

  // 8. Processor and buses.
  void* proc = nullptr;
  if (r.component->queryInterface(kIidAudioProcessor.bytes, &proc) != kResultOk || !proc) {
    r.ReleaseEarly();
    return r.Fail("插件没有 IAudioProcessor（不是效果器）");
  }
  r.processor = static_cast<IAudioProcessor*>(proc);
  const int32 inBuses = r.component->getBusCount(kAudio, kInput);
  const int32 outBuses = r.component->getBusCount(kAudio, kOutput);
  HostLog("  audio buses: in=%d out=%d", inBuses, outBuses);
  if (outBuses < 1) {
    r.ReleaseEarly();
    return r.Fail("插件没有音频输出总线");
  }
  const SpeakerArrangement arrangement = channels == 1 ? kMono : kStereo;
  std::vector<SpeakerArrangement> inArr(size_t(std::max(inBuses, 0)), arrangement);
  std::vector<SpeakerArrangement> outArr(size_t(outBuses), arrangement);
  const tresult arr = r.processor->setBusArrangements(inArr.empty() ? nullptr : inArr.data(), int32(inArr.size()),
                                                      outArr.data(), int32(outArr.size()));
  HostLog("  setBusArrangements -> 0x%08X", unsigned(arr));
  for (int32 i = 0; i < outBuses; ++i) r.component->activateBus(kAudio, kOutput, i, 1);
  for (int32 i = 0; i < inBuses; ++i) r.component->activateBus(kAudio, kInput, i, 1);

  // 9. Processing setup, offline first.
  ProcessSetup setup{kOffline, kSample32, kRenderBlockFrames, double(rate)};
  tresult res = r.processor->setupProcessing(setup);
  if (res != kResultOk) {
    HostLog("  setupProcessing(kOffline) -> 0x%08X，改用 kRealtime", unsigned(res));
    setup.processMode = kRealtime;
    res = r.processor->setupProcessing(setup);
    if (res != kResultOk) {
      r.ReleaseEarly();
      return r.Fail(Format("setupProcessing 被拒绝（0x%08X）", unsigned(res)));
    }
  }
  HostLog("  setActive -> 0x%08X", unsigned(r.component->setActive(1)));
  HostLog("  setProcessing -> 0x%08X", unsigned(r.processor->setProcessing(1)));
  const uint32 latencyReported = r.processor->getLatencySamples();
  const uint32 tail = r.processor->getTailSamples();
  HostLog("  latency=%u tail=%u", unsigned(latencyReported), unsigned(tail));

  // 10.-11. Controller link, state and the Reduction parameter.
  ParamChangesImpl changes;
  bool reductionSet = false;
  double native = 0;
  if (r.controller) {
    LinkControllerAndSyncState(r);
    reductionSet = SetReduction(r.controller, reductionOffset, changes, native);
  }
  if (nativeValue) *nativeValue = reductionSet ? native : 0;
  if (applied) *applied = reductionSet && reductionOffset != 0;

  // 12. Blocks of 1024 frames.
  const uint64_t latency =
      (latencyReported > 0 && uint64_t(latencyReported) <= 2ull * rate) ? uint64_t(latencyReported) : 0;
  std::vector<float> inBlock(size_t(channels) * kRenderBlockFrames, 0.0f);
  std::vector<float> outBlock(size_t(channels) * kRenderBlockFrames, 0.0f);
  Sample32* inPtrs[2] = {inBlock.data(), channels > 1 ? inBlock.data() + kRenderBlockFrames : nullptr};
  Sample32* outPtrs[2] = {outBlock.data(), channels > 1 ? outBlock.data() + kRenderBlockFrames : nullptr};
  AudioBusBuffers inBus{};
  inBus.numChannels = int32(channels);
  inBus.silenceFlags = 0;
  inBus.channelBuffers32 = inPtrs;
  AudioBusBuffers outBus{};
  outBus.numChannels = int32(channels);
  outBus.silenceFlags = 0;
  outBus.channelBuffers32 = outPtrs;
  ProcessContext context;
  std::memset(&context, 0, sizeof context);
  context.sampleRate = double(rate);
  bool processFailed = false;
  for (size_t pos = 0; pos < frames; pos += kRenderBlockFrames) {
    const size_t n = std::min<size_t>(frames - pos, kRenderBlockFrames);
    DeinterleaveBlock(samples.data() + pos * channels, inBlock.data(), n, channels);
    ProcessData data;
    std::memset(&data, 0, sizeof data);
    data.processMode = setup.processMode;
    data.symbolicSampleSize = kSample32;
    data.numSamples = int32(n);
    data.numInputs = inBuses >= 1 ? 1 : 0;
    data.numOutputs = 1;
    data.inputs = inBuses >= 1 ? &inBus : nullptr;
    data.outputs = &outBus;
    data.inputParameterChanges = reductionSet ? &changes : nullptr;
    context.projectTimeSamples = TSamples(pos);
    data.processContext = &context;
    inBus.silenceFlags = 0;
    outBus.silenceFlags = 0;
    res = r.processor->process(data);
    if (!firstProcessLogged.exchange(true))
      HostLog("  first process() -> 0x%08X (n=%d, numIn=%d numOut=%d)", unsigned(res), int(n), data.numInputs,
              data.numOutputs);
    if (res != kResultOk) {
      HostLog("  process() 返回 0x%08X @pos=%llu", unsigned(res), (unsigned long long)pos);
      processFailed = true;
      break;
    }
    // Output frame pos+i belongs at pos+i−L once the latency is taken out;
    // writing it there directly saves a pass over the whole buffer. Every
    // frame written to has already been read as input.
    const size_t skip = pos >= latency ? 0 : std::min<size_t>(n, size_t(latency - pos));
    if (skip < n) {
      const size_t to = pos + skip - size_t(latency);
      InterleaveBlock(outBlock.data() + skip, samples.data() + to * channels, n - skip, channels);
    }
  }

  // 13. Latency compensation: the output starts L frames earlier and its last
  // L frames are silent.
  if (!processFailed && latency > 0) {
    const size_t tail = std::min(samples.size(), size_t(latency) * channels);
    std::fill(samples.end() - ptrdiff_t(tail), samples.end(), 0.0f);
    HostLog("  latency compensation: shifted left by %u samples", unsigned(latency));
  }

  // 14. Teardown.
  HostLog("  渲染循环结束，开始收尾");
  r.processor->setProcessing(0);
  HostLog("  setProcessing(0) ok");
  r.component->setActive(0);
  HostLog("  setActive(0) ok");
  r.component->terminate();
  HostLog("  terminate ok");
  // The processor and connection-point interfaces came from queryInterface
  // and hold references of their own; without these releases the instance
  // would never be freed.
  r.processor->release();
  r.processor = nullptr;
  if (r.compPoint) r.compPoint->release();
  if (r.ctrlPoint) r.ctrlPoint->release();
  r.compPoint = r.ctrlPoint = nullptr;
  r.component->release();
  r.component = nullptr;
  HostLog("  release ok");
  if (r.controller) {
    if (r.separateController) {
      r.controller->terminate();
      HostLog("  controller terminate ok");
    }
    r.controller->release();
    r.controller = nullptr;
    HostLog("  controller release ok");
  }
  r.RestoreSearch();
  if (processFailed) return r.Fail("渲染过程中插件报错");
  HostLog("  done");
  return true;
}

bool DenoiseAtStrength(const PluginRef& plugin, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                       std::string* error, std::string* className, double reductionOffset, double* nativeValue) {
  if (nativeValue) *nativeValue = 0;
  if (reductionOffset == 0)
    return RenderThroughPlugin(plugin, samples, rate, channels, 0, error, className, nullptr, nullptr);
  double native = 0;
  bool applied = false;
  if (reductionOffset < 0) {
    const std::vector<float> dry = samples;
    const bool ok =
        RenderThroughPlugin(plugin, samples, rate, channels, reductionOffset, error, className, &native, &applied);
    if (ok && applied) {
      if (nativeValue) *nativeValue = native;
    } else if (ok) {
      for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5f * samples[i] + 0.5f * dry[i];
      HostLog("  轻柔回退：wet/dry 50/50 混合完成");
    }
    return ok;
  }
  if (!RenderThroughPlugin(plugin, samples, rate, channels, reductionOffset, error, className, &native, &applied))
    return false;
  if (applied) {
    if (nativeValue) *nativeValue = native;
    return true;
  }
  HostLog("  激进回退：第二遍渲染开始");
  return RenderThroughPlugin(plugin, samples, rate, channels, 0, error, className, nullptr, nullptr);
}

}  // namespace vesk
