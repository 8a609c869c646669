// The edit area on a one-hour stereo 48 kHz document (1.38 GB of floats):
// building the 1920-column scene after a wheel zoom or a pan (the budget is
// one 120 Hz frame, 8 ms), the first scene after the samples changed, and
// the peak memory of opening a one-hour WAV plus one undo snapshot (target
// 2.1 × the sample bytes). The WAV comes from VESK_BENCH_HOUR_WAV or is made
// once with the ffmpeg program in the temp folder. Run the memory benchmark
// in a process of its own (--benchmark_filter=PeakMemory) so that its
// counter sees only its own allocations.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "audio/playback_stream.h"
#include "doc/audio_doc.h"
#include "ui/control_ids.h"
#include "ui/edit_area.h"
#include "silent_view.h"

namespace vesk::ui {
namespace {

constexpr uint32_t kRate = 48000;
constexpr uint64_t kFrames = uint64_t(kRate) * 3600;
constexpr int kWidth = 1920;
constexpr int kHeight = 400;

struct Bench {
  AudioDoc doc;
  SilentWindow window{FocusKind::Wave};
  SettingsState settings;
  EditArea area{window.Context(doc, settings)};
  void Wheel(int steps, int x) { area.OnWheel(WheelEvent{steps, x, 100}, kWidth, kHeight); }
};

Bench& HourBench() {
  static Bench* bench = [] {
    auto* b = new Bench;
    std::vector<float> v(kFrames * 2);
    for (uint64_t f = 0; f < kFrames; ++f) {
      const float x = float(0.5 * std::sin(double(f % 48000) * (2 * 3.14159265358979323846 * 440 / 48000)));
      v[2 * f] = x;
      v[2 * f + 1] = -x * float(f % 4096) / 4096.0f;
    }
    std::string error;
    b->doc.Adopt(AudioFormat{kRate, 2, 16}, std::move(v), "hour.wav", error, 16);
    b->area.OnRecordingLoaded();
    b->area.Scene(kWidth, kHeight);  // the first scene pays for the block summaries
    return b;
  }();
  return *bench;
}

// Alternating steps in and out at moving pointers: every scene is a new
// range. `range(0)` steps in first (0: the whole hour, 20: about 40 s).
void BM_SceneAfterZoom(benchmark::State& state) {
  Bench& b = HourBench();
  b.area.OnRecordingLoaded();
  b.Wheel(int(state.range(0)), kWidth / 2);
  int i = 0;
  for (auto _ : state) {
    b.Wheel((i & 1) ? -1 : 1, 200 + (i * 97) % 1500);
    ++i;
    WaveScene s = b.area.Scene(kWidth, kHeight);
    benchmark::DoNotOptimize(s.lanes.data());
  }
}
BENCHMARK(BM_SceneAfterZoom)->Arg(0)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// A right-button pan of 7 units per scene through a view of `range(0)`
// wheel steps in (10: about six minutes).
void BM_SceneAfterPan(benchmark::State& state) {
  Bench& b = HourBench();
  b.area.OnRecordingLoaded();
  b.Wheel(int(state.range(0)), kWidth / 2);
  int x = 1000;
  b.area.OnMouse(MouseEvent{MouseAction::Press, MouseButton::Right, x, 100}, kWidth, kHeight);
  for (auto _ : state) {
    x = x > 300 ? x - 7 : 1000;  // pans right, starts over when far enough
    b.area.OnMouse(MouseEvent{MouseAction::Move, MouseButton::Right, x, 100}, kWidth, kHeight);
    WaveScene s = b.area.Scene(kWidth, kHeight);
    benchmark::DoNotOptimize(s.lanes.data());
  }
  b.area.OnMouse(MouseEvent{MouseAction::Release, MouseButton::Right, x, 100}, kWidth, kHeight);
}
BENCHMARK(BM_SceneAfterPan)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// The first scene after the samples changed scans the whole hour once.
void BM_FirstSceneAfterAnEdit(benchmark::State& state) {
  setenv("VESK_UNDO_BUDGET_MB", "1500", 1);
  Bench& b = HourBench();
  b.area.OnRecordingLoaded();
  for (auto _ : state) {
    state.PauseTiming();
    b.doc.SetSelection(0, 1);
    b.area.HandleCommand(kIdSilence);
    state.ResumeTiming();
    WaveScene s = b.area.Scene(kWidth, kHeight);
    benchmark::DoNotOptimize(s.lanes.data());
  }
  unsetenv("VESK_UNDO_BUDGET_MB");
}
BENCHMARK(BM_FirstSceneAfterAnEdit)->Unit(benchmark::kMillisecond)->Iterations(3);

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::filesystem::path HourWav() {
  if (const char* p = std::getenv("VESK_BENCH_HOUR_WAV")) return p;
  const auto path = std::filesystem::temp_directory_path() / "vesk-bench-hour.wav";
  if (!std::filesystem::exists(path)) {
    const std::string cmd =
        "ffmpeg -nostdin -v error -y -f lavfi -i 'sine=f=440:d=3600:r=48000' -ac 2 "
        "-c:a pcm_s16le '" +
        path.string() + "'";
    if (std::system(cmd.c_str()) != 0) return {};
  }
  return path;
}

// Open the hour, show it, delete one second in the middle (one undo
// snapshot) and show that: the peak resident growth over the sample bytes.
void BM_PeakMemoryOpenPlusOneUndo(benchmark::State& state) {
  const auto path = HourWav();
  if (path.empty()) {
    state.SkipWithError("no one-hour WAV");
    return;
  }
  setenv("VESK_UNDO_BUDGET_MB", "2000", 1);
  const long before = PeakRssKb();
  double sampleBytes = 0;
  for (auto _ : state) {
    Bench b;
    std::string error;
    if (!b.doc.Load(path, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    b.area.OnRecordingLoaded();
    b.area.Scene(kWidth, kHeight);
    b.doc.SetSelection(kFrames / 2, kFrames / 2 + kRate);
    b.area.HandleCommand(kIdDelete);
    WaveScene s = b.area.Scene(kWidth, kHeight);
    benchmark::DoNotOptimize(s.lanes.data());
    sampleBytes = double(b.doc.Frames() * 2 + kRate * 2) * sizeof(float);
    if (b.doc.UndoCount() != 1) state.SkipWithError("no undo snapshot");
  }
  unsetenv("VESK_UNDO_BUDGET_MB");
  state.counters["sample_MB"] = sampleBytes / 1e6;
  state.counters["peak_ratio"] = sampleBytes > 0 ? double(PeakRssKb() - before) * 1024.0 / sampleBytes : 0;
}
BENCHMARK(BM_PeakMemoryOpenPlusOneUndo)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace vesk::ui

BENCHMARK_MAIN();
