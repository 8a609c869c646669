// The level tools' speed on 10 minutes of 48 kHz stereo speech-like material
// ("x realtime" = seconds of audio per second): the loudness reading the
// information line shows, normalisation to a target that needs the limiter
// and one that does not, and hum removal.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "media/level_tools.h"

namespace {
using namespace vesk;

constexpr uint32_t kRate = 48000;
constexpr double kSeconds = 600;

const std::vector<float>& Input() {
  static const std::vector<float> s = [] {
    std::vector<float> v(size_t(kSeconds * kRate) * 2);
    uint32_t seed = 1;
    for (size_t i = 0; i < v.size(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      const double t = double(i / 2) / kRate;
      const double envelope = std::fmod(t, 1.5) < 1.1 ? 0.6 + 0.4 * std::sin(2 * M_PI * 3 * t) : 0.02;
      v[i] = float(0.05 * envelope * (double(seed >> 8) / double(1u << 23) - 1.0));
    }
    return v;
  }();
  return s;
}

void Rate(benchmark::State& state) {
  state.counters["x realtime"] = benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Measure(benchmark::State& state) {
  for (auto _ : state) {
    LoudnessReading r;
    std::string error;
    MeasureLoudness(Input().data(), Input().size() / 2, kRate, 2, false, r, error, {}, state.range(0) != 0);
    benchmark::DoNotOptimize(r);
  }
  Rate(state);
}

void BM_Normalize(benchmark::State& state) {
  std::vector<float> samples;
  for (auto _ : state) {
    state.PauseTiming();
    samples = Input();
    state.ResumeTiming();
    NormalizeResult r;
    std::string error;
    if (!NormalizeLoudness(samples, kRate, 2, false, double(state.range(0)), -1, r, error))
      state.SkipWithError(error.c_str());
  }
  Rate(state);
}

void BM_RemoveHum(benchmark::State& state) {
  std::vector<float> samples;
  for (auto _ : state) {
    state.PauseTiming();
    samples = Input();
    state.ResumeTiming();
    RemoveMainsHum(samples.data(), samples.size() / 2, 2, kRate, 50);
  }
  Rate(state);
}

}  // namespace

// 1: with the true peak and the loudness range (the information line's
// reading), 0: the integrated loudness alone.
BENCHMARK(BM_Measure)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
// -14 LUFS needs the limiter on this material, -23 is gain alone.
BENCHMARK(BM_Normalize)->Arg(-14)->Arg(-23)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RemoveHum)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  Input();  // made once, outside every timing
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
