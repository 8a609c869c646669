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
#include "support/post_queue.h"
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

// Posted completions wait in a queue like window messages.
class QueueView : public test::EditRigView {
 public:
  void PostToUi(std::function<void()> task) override { posted_.Post(std::move(task)); }
  bool RunPosted() { return posted_.Run(); }

 private:
  test::PostQueue posted_;
};

struct Rig {
  AudioDoc doc;
  QueueView view;
  test::ManualPlayback playback;
  SettingsState settings;
  std::unique_ptr<ui::EditArea> area;
  std::unique_ptr<ui::DenoiseController> denoise;  // goes before the edit area
  Rig() {
    ui::DenoiseContext d;
    d.view = &view;
    d.doc = &doc;
    d.settings = &settings;
    d.discover = FixtureEngine;
    denoise = std::make_unique<ui::DenoiseController>(d);
    ui::EditContext c;
    c.view = &view;
    c.doc = &doc;
    c.playback = &playback;
    c.settings = &settings;
    c.playbackBuffer = [this] { return denoise->PlaybackBufferForAudition(); };
    area = std::make_unique<ui::EditArea>(c);
    denoise->SetEditArea(area.get());
    std::string error;
    doc.Adopt(AudioFormat{kRate, 2, 16}, Input(), "/c/take.wav", error, 16);
    area->OnRecordingLoaded();
  }
  // The window handles a posted completion at once; the tick runs every 33 ms.
  void WaitForCompletion() {
    auto tick = std::chrono::steady_clock::now();
    while (!view.RunPosted()) {
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
    if (rig->view.status.rfind("降噪已就绪", 0) != 0) state.SkipWithError(rig->view.status.c_str());
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
