// The video preview on a 1080p H.264 file with a key frame every 2 s
// (VESK_BENCH_PREVIEW_VIDEO; scripts/bench-preview.sh makes one): the time
// from a seek request to the picture arriving from the preview thread, and
// how far the picture trails a play head that moves at real time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "video/preview_follower.h"

namespace {

using namespace vesk;
using Clock = std::chrono::steady_clock;

constexpr int kBoxWidth = 640, kBoxHeight = 360;

// A follower over the benchmark video whose deliveries can be waited for.
struct Rig {
  std::mutex mutex;
  std::condition_variable arrived;
  std::shared_ptr<const PreviewPicture> last;
  Clock::time_point lastAt;
  uint64_t deliveries = 0;
  std::function<void(const PreviewPicture&, Clock::time_point)> onPicture;
  double duration = 0;
  double frameRate = 30;
  std::unique_ptr<PreviewFollower> follower;
  std::string error;

  bool Open() {
    const char* path = std::getenv("VESK_BENCH_PREVIEW_VIDEO");
    if (!path) {
      error = "set VESK_BENCH_PREVIEW_VIDEO to a 1080p H.264 video";
      return false;
    }
    auto decoder = std::make_unique<PreviewDecoder>();
    if (!decoder->Open(path, error)) return false;
    duration = decoder->DurationSeconds();
    if (decoder->FrameRate() > 0) frameRate = decoder->FrameRate();
    follower = std::make_unique<PreviewFollower>(
        std::move(decoder), [this](std::shared_ptr<const PreviewPicture> p, const std::string&) {
          const Clock::time_point now = Clock::now();
          std::lock_guard<std::mutex> lock(mutex);
          if (p && onPicture) onPicture(*p, now);
          last = std::move(p);
          lastAt = now;
          ++deliveries;
          arrived.notify_all();
        });
    return true;
  }
  // Requests `seconds` and waits for the delivery; the time it took.
  double RequestAndWait(double seconds) {
    std::unique_lock<std::mutex> lock(mutex);
    const uint64_t before = deliveries;
    const Clock::time_point start = Clock::now();
    lock.unlock();
    follower->Request(seconds, kBoxWidth, kBoxHeight);
    lock.lock();
    arrived.wait_for(lock, std::chrono::seconds(10), [&] { return deliveries != before; });
    return std::chrono::duration<double>(lastAt - start).count();
  }
};

// Jumps around the file, each time to a new group of pictures. range(0) = 0:
// random points; 1: the worst case, the last frame before a key frame.
void BM_SeekRequestToPicture(benchmark::State& state) {
  Rig rig;
  if (!rig.Open()) return state.SkipWithError(rig.error.c_str());
  const bool worst = state.range(0) == 1;
  const int groups = std::max(2, int(rig.duration / 2.0) - 1);
  std::vector<double> times;
  double cpuMs = 0;
  uint32_t seed = 12345;
  int previous = -1;
  for (auto _ : state) {
    seed = seed * 1664525u + 1013904223u;
    int group = int(seed >> 8) % groups;
    if (group == previous) group = (group + 1) % groups;
    previous = group;
    const double within = worst ? 2.0 - 1.5 / rig.frameRate : double((seed >> 4) % 1000) / 1000.0 * 2.0;
    const std::clock_t cpuBefore = std::clock();
    const double seconds = rig.RequestAndWait(group * 2.0 + within);
    // Processor time of every thread of the process: what the seek costs
    // whatever else the machine is doing.
    cpuMs += double(std::clock() - cpuBefore) * 1000.0 / CLOCKS_PER_SEC;
    state.SetIterationTime(seconds);
    times.push_back(seconds * 1000);
  }
  std::sort(times.begin(), times.end());
  if (!times.empty()) {
    state.counters["max_ms"] = times.back();
    state.counters["p95_ms"] = times[size_t(double(times.size() - 1) * 0.95)];
    state.counters["cpu_ms"] = cpuMs / double(times.size());
  }
}
BENCHMARK(BM_SeekRequestToPicture)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// A play head moving at real time from 1 s on, asked for at every 33 ms
// tick of the window; the lag is the play head at delivery minus the start of
// the frame delivered, in frames.
void BM_FollowPlayHead(benchmark::State& state) {
  Rig rig;
  if (!rig.Open()) return state.SkipWithError(rig.error.c_str());
  const double seconds = std::min(10.0, rig.duration - 2.0);
  std::vector<double> lags;
  Clock::time_point start;
  rig.onPicture = [&](const PreviewPicture& p, Clock::time_point at) {
    const double head = 1.0 + std::chrono::duration<double>(at - start).count();
    if (p.requested >= 1.0) lags.push_back((head - p.frameTime) * rig.frameRate);
  };
  for (auto _ : state) {
    rig.RequestAndWait(1.0);  // positioned, as when the user presses play
    {
      std::lock_guard<std::mutex> lock(rig.mutex);
      lags.clear();
    }
    start = Clock::now();
    for (int tick = 0;; ++tick) {
      const Clock::time_point due = start + std::chrono::milliseconds(33 * tick);
      std::this_thread::sleep_until(due);
      const double head = 1.0 + std::chrono::duration<double>(Clock::now() - start).count();
      if (head > 1.0 + seconds) break;
      rig.follower->Request(head, kBoxWidth, kBoxHeight);
    }
    rig.follower->WaitIdle(5000);
  }
  std::lock_guard<std::mutex> lock(rig.mutex);
  std::sort(lags.begin(), lags.end());
  if (lags.empty()) return state.SkipWithError("no picture arrived");
  double sum = 0;
  for (double l : lags) sum += l;
  state.counters["lag_mean_frames"] = sum / double(lags.size());
  state.counters["lag_p95_frames"] = lags[size_t(double(lags.size() - 1) * 0.95)];
  state.counters["lag_max_frames"] = lags.back();
  const PreviewFollower::Counts counts = rig.follower->Statistics();
  state.counters["superseded"] = double(counts.superseded);
  state.counters["pictures"] = double(lags.size());
}
BENCHMARK(BM_FollowPlayHead)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
