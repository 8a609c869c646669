// The denoise switch on a 10-minute stereo clip with the test plug-in: time
// from switching on to the "ready" completion against RunDenoise alone on
// the same clip, and the time from switching the playing source to the
// first denoised block rendered by the device.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>

#include "denoise/denoise_engine.h"
#include "platform/folders.h"
#include "ui/control_ids.h"
#include "ui/denoise_controller.h"
#include "ui/edit_rig.h"

namespace {
using namespace vesk;

constexpr uint32_t kRate = 48000;
constexpr size_t kFrames = size_t(kRate) * 600;

std::filesystem::path Fixture() {
  return ProgramDir() / "fixtures" / "voice_denoise" / (std::string("VeskTest Voice De-noise") + BundleModuleSuffix());
}

std::vector<float> Input() {
  std::vector<float> s(kFrames * 2);
  uint32_t seed = 1;
  for (float& x : s) {
    seed = seed * 1664525u + 1013904223u;
    x = 0.01f * (float(seed >> 8) / float(1u << 23) - 1.0f);
  }
  return s;
}

void FixtureEngine(DenoiseEngine& e) {
  e = DenoiseEngine{};
  e.discovered = true;
  e.modulePath = Fixture();
  e.fileName = "VeskTest Voice De-noise.vst3";
  e.architecture = NativeArch();
  e.displayName = "VeskTest Voice De-noise";
}

// Posted completions wait in the window port's queue like window messages.
struct Rig {
  AudioDoc doc;
  test::PartsWindow window;
  test::ManualPlayback playback;
  SettingsState settings;
  test::PartsHost host;
  std::unique_ptr<ui::EditArea> area;
  std::unique_ptr<ui::DenoiseController> denoise;  // goes before the edit area
  Rig() {
    ui::DenoiseContext d;
    d.port = &window.port;
    d.doc = &doc;
    d.settings = &settings;
    d.app = &host;
    d.discover = FixtureEngine;
    denoise = std::make_unique<ui::DenoiseController>(d);
    area = std::make_unique<ui::EditArea>(ui::EditContext{&window.port, &doc, &playback, nullptr, &settings, &host});
    host.area = area.get();
    host.denoise = denoise.get();
    std::string error;
    doc.Adopt(AudioFormat{kRate, 2, 16}, Input(), "/c/take.wav", error, 16);
    area->OnRecordingLoaded();
  }
  // The window handles a posted completion at once; the tick runs every 33 ms.
  void WaitForCompletion() {
    auto tick = std::chrono::steady_clock::now();
    while (!window.port.RunPosted()) {
      if (std::chrono::steady_clock::now() - tick >= std::chrono::milliseconds(33)) {
        denoise->Tick();
        tick = std::chrono::steady_clock::now();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};

void BM_RunDenoiseAlone(benchmark::State& state) {
  const std::vector<float> input = Input();
  DenoiseEngine engine;
  FixtureEngine(engine);
  for (auto _ : state) {
    std::vector<float> samples = input;  // the switch copies the document too
    std::string error;
    if (!RunDenoise(engine, samples, kRate, 2, error, 1)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(samples.data());
  }
}

void BM_SwitchOnToReady(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto rig = std::make_unique<Rig>();
    state.ResumeTiming();
    rig->denoise->Toggle();
    rig->WaitForCompletion();
    state.PauseTiming();
    const std::string& status = rig->window.port.StatusText();
    if (status.rfind("降噪已就绪", 0) != 0) state.SkipWithError(status.c_str());
    rig.reset();
    state.ResumeTiming();
  }
}

void BM_SwitchSourceToFirstDenoisedBlock(benchmark::State& state) {
  Rig rig;
  rig.denoise->Toggle();
  rig.WaitForCompletion();
  rig.area->HandleCommand(ui::kIdPlay);
  for (auto _ : state) {
    state.PauseTiming();
    rig.playback.Advance(480);
    state.ResumeTiming();
    // Off plays the original, on switches back to the ready copy.
    rig.denoise->SwitchPlaybackSource(false);
    rig.denoise->SwitchPlaybackSource(true);
    rig.playback.Advance(480);  // one 10 ms device callback of denoised audio
  }
  if (!rig.denoise->PlayingDenoised()) state.SkipWithError("not playing the denoised copy");
}

}  // namespace

BENCHMARK(BM_RunDenoiseAlone)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SwitchOnToReady)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SwitchSourceToFirstDenoisedBlock)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_MAIN();
