// Denoise host throughput: a 10-minute stereo buffer rendered through the
// host core against driving the same plug-in's process() directly, and the
// helper round trip (temp files + process start) for the same buffer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "denoise/helper_client.h"
#include "denoise/vst3_api.h"
#include "denoise/vst3_host.h"
#include "platform/folders.h"
#include "platform/module.h"

namespace {
using namespace vesk;
using namespace vesk::vst;

constexpr uint32_t kRate = 48000;
constexpr size_t kFrames = size_t(kRate) * 600;

std::filesystem::path Fixture() {
  return ProgramDir() / "fixtures" / "voice_denoise" / (std::string("VeskTest Voice De-noise") + BundleModuleSuffix());
}

const std::vector<float>& Input() {
  static const std::vector<float> v = [] {
    std::vector<float> s(kFrames * 2);
    uint32_t seed = 1;
    for (float& x : s) {
      seed = seed * 1664525u + 1013904223u;
      x = 0.01f * (float(seed >> 8) / float(1u << 23) - 1.0f);
    }
    return s;
  }();
  return v;
}

// Buffers are allocated once; each iteration refills them untimed, so only
// the render itself is measured (not page faults of a fresh 230 MB buffer).
void BM_HostRender(benchmark::State& state) {
  std::vector<float> samples(Input().size());
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(Input().begin(), Input().end(), samples.begin());
    state.ResumeTiming();
    std::string error;
    if (!RenderThroughPlugin({Fixture(), "bench"}, samples, kRate, 2, 0, &error, nullptr, nullptr, nullptr))
      state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kFrames));
}

// The plug-in driven by hand on data already split into channels: the
// floor the host's overhead is measured against.
void BM_DirectProcess(benchmark::State& state) {
  void* module = LoadModule(Fixture(), false).handle;
  auto getFactory = reinterpret_cast<GetFactoryProc>(ModuleSymbol(module, "GetPluginFactory"));
  if (!getFactory) {
    state.SkipWithError("no fixture");
    return;
  }
  IPluginFactory* factory = getFactory();
  PClassInfo info;
  std::memset(&info, 0, sizeof info);
  factory->getClassInfo(1, &info);
  std::vector<float> left(kFrames), right(kFrames);
  for (size_t i = 0; i < kFrames; ++i) {
    left[i] = Input()[2 * i];
    right[i] = Input()[2 * i + 1];
  }
  // Full-length planar output, as a host rendering a whole clip needs.
  std::vector<float> outL(kFrames), outR(kFrames);
  for (auto _ : state) {
    void* obj = nullptr;
    factory->createInstance(info.cid, kIidComponent.bytes, &obj);
    auto* component = static_cast<IComponent*>(obj);
    void* p = nullptr;
    component->queryInterface(kIidAudioProcessor.bytes, &p);
    auto* processor = static_cast<IAudioProcessor*>(p);
    SpeakerArrangement arr = kStereo;
    processor->setBusArrangements(&arr, 1, &arr, 1);
    ProcessSetup setup{kOffline, kSample32, 1024, double(kRate)};
    processor->setupProcessing(setup);
    component->setActive(1);
    for (size_t pos = 0; pos < kFrames; pos += 1024) {
      float* in[2] = {left.data() + pos, right.data() + pos};
      float* out[2] = {outL.data() + pos, outR.data() + pos};
      AudioBusBuffers inBus{}, outBus{};
      inBus.numChannels = outBus.numChannels = 2;
      inBus.channelBuffers32 = in;
      outBus.channelBuffers32 = out;
      ProcessData data;
      std::memset(&data, 0, sizeof data);
      data.processMode = kOffline;
      data.numSamples = int32(std::min<size_t>(1024, kFrames - pos));
      data.numInputs = data.numOutputs = 1;
      data.inputs = &inBus;
      data.outputs = &outBus;
      processor->process(data);
      benchmark::DoNotOptimize(outL.data());
    }
    component->setActive(0);
    processor->release();
    component->release();
  }
  factory->release();
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kFrames));
}

void BM_HelperRoundTrip(benchmark::State& state) {
  DenoiseEngine engine;
  engine.discovered = true;
  engine.modulePath = Fixture();
  engine.architecture = 2;
  const HelperPlaces places{ProgramDir(), TempDir() / "vesk-bench-helper", OwnProductVersion()};
  std::vector<float> samples(Input().size());
  for (auto _ : state) {
    state.PauseTiming();
    samples.assign(Input().begin(), Input().end());
    state.ResumeTiming();
    std::string error;
    if (!RunHelperDenoise(places, engine, samples, kRate, 2, error, 1)) state.SkipWithError(error.c_str());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kFrames));
}

// Wall time for all three: the round trip's work happens in the helper
// process, which the parent's CPU time would not count.
BENCHMARK(BM_HostRender)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_DirectProcess)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_HelperRoundTrip)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
