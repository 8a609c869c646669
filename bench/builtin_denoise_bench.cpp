// The built-in noise reduction's speed, single-threaded as it renders: real
// time factor per level at 48 kHz mono (60 s of speech-like noise), a 10 s
// selection with its profile measurement, and one hour of stereo as the
// background render gets it ("x realtime" = seconds of audio per second).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "denoise/builtin_denoise.h"

namespace {
using namespace vesk;

constexpr uint32_t kRate = 48000;

std::vector<float> Input(size_t frames, uint32_t channels) {
  std::vector<float> s(frames * channels);
  uint32_t seed = 1;
  for (size_t i = 0; i < s.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double t = double(i / channels) / kRate;
    // Hiss everywhere, a voiced 150 Hz buzz in bursts after the first 2 s.
    const double voice = t > 2 && std::fmod(t, 1.0) < 0.6 ? 0.2 * std::sin(2 * M_PI * 150 * t) : 0.0;
    s[i] = float(voice + 0.01 * (double(seed >> 8) / double(1u << 23) - 1.0));
  }
  return s;
}

void Render(benchmark::State& state, double seconds, uint32_t channels) {
  const std::vector<float> input = Input(size_t(seconds * kRate), channels);
  std::vector<float> samples(input.size());
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(input.begin(), input.end(), samples.begin());
    state.ResumeTiming();
    NoiseProfile profile;  // measured each time, as every render does
    std::string error;
    if (!RunBuiltinDenoise(samples, kRate, channels, unsigned(state.range(0)), profile, error))
      state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(samples.data());
  }
  state.counters["x realtime"] =
      benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_LevelMono60s(benchmark::State& state) { Render(state, 60, 1); }
void BM_Selection10s(benchmark::State& state) { Render(state, 10, 1); }
void BM_HourStereo(benchmark::State& state) { Render(state, 3600, 2); }

}  // namespace

// Levels: 0 激进, 1 均衡, 2 轻柔.
BENCHMARK(BM_LevelMono60s)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Selection10s)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HourStereo)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_MAIN();
