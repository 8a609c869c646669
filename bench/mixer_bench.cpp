// The mixer's production path: two sources at 48 kHz stereo (loopback) and
// 44.1 kHz (microphone, resampled), driven on a virtual clock in 10 ms
// steps. Reports output frames per CPU second, the real-time factor on one
// core and the heap allocations per Pull after Start (operator new is
// counted in this program).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "record/memory_capture_source.h"
#include "record/source_mixer.h"

namespace {
std::atomic<int64_t> allocations{0};
}  // namespace

// Plain malloc/free pairs; GCC cannot see that the replaced new is malloc.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void BM_TwoSourcePull(benchmark::State& state) {
  vesk::ManualClock clock;
  vesk::MemoryCaptureSource mic(clock, 44100), loop(clock, 48000);
  vesk::SourceMixer mixer(mic, loop, clock, [](const char*) {});
  std::string error;
  if (!mixer.Start("mic", false, "speakers", true, 2, 0, 16, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::vector<float> micPacket(441 * 2), loopPacket(480 * 2), out(8192 * 2);
  for (size_t i = 0; i < micPacket.size(); ++i) micPacket[i] = float(0.5 * std::sin(double(i) * 0.07));
  for (size_t i = 0; i < loopPacket.size(); ++i) loopPacket[i] = float(0.3 * std::sin(double(i) * 0.05));

  int64_t frames = 0, pulls = 0;
  const int64_t allocationsBefore = allocations.load();
  for (auto _ : state) {
    clock.AdvanceMs(10);
    const int64_t now = clock.Now100ns();
    mic.Push(micPacket.data(), 441, now - 100'000);
    loop.Push(loopPacket.data(), 480, now - 100'000);
    for (;;) {
      const size_t n = mixer.Pull(out.data(), 8192);
      ++pulls;
      frames += int64_t(n);
      benchmark::DoNotOptimize(out.data());
      if (n == 0) break;
    }
  }
  const int64_t allocated = allocations.load() - allocationsBefore;
  state.counters["frames_per_cpu_s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
  state.counters["realtime_x"] = benchmark::Counter(double(frames) / 48000.0, benchmark::Counter::kIsRate);
  state.counters["allocs_per_pull"] = pulls > 0 ? double(allocated) / double(pulls) : 0.0;
  state.counters["pulls"] = double(pulls);
}
BENCHMARK(BM_TwoSourcePull)->Iterations(30000);

}  // namespace

BENCHMARK_MAIN();
