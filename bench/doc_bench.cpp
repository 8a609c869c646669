// The edit document on a one-hour stereo 48 kHz clip (1.38 GB of floats):
// whole-clip envelope against a plain scan of the same bytes, the cached
// repeat, one undo snapshot against memcpy, deleting the middle third; and
// MP3 encoding against the ffmpeg program's libmp3lame on the same audio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "doc/audio_doc.h"
#include "media/mp3_sink.h"

namespace vesk {
namespace {

constexpr uint32_t kRate = 48000;
constexpr uint64_t kFrames = uint64_t(kRate) * 3600;

std::vector<float> MakeHour() {
  std::vector<float> v(kFrames * 2);
  for (uint64_t f = 0; f < kFrames; ++f) {
    const float x = float(0.5 * std::sin(double(f % 48000) * (2 * 3.14159265358979323846 * 440 / 48000)));
    v[2 * f] = x;
    v[2 * f + 1] = -x;
  }
  return v;
}

AudioDoc& HourDoc() {
  static AudioDoc* doc = [] {
    auto* d = new AudioDoc;
    std::string error;
    d->Adopt(AudioFormat{kRate, 2, 16}, MakeHour(), "hour.wav", error, 16);
    return d;
  }();
  return *doc;
}

void BM_PlainScanSameBytes(benchmark::State& state) {
  const std::vector<float> s = HourDoc().CopySamples();
  for (auto _ : state) {
    float mx0 = -1e9f, mx1 = -1e9f, mx2 = -1e9f, mx3 = -1e9f;
    for (size_t i = 0; i + 4 <= s.size(); i += 4) {
      mx0 = s[i] > mx0 ? s[i] : mx0;
      mx1 = s[i + 1] > mx1 ? s[i + 1] : mx1;
      mx2 = s[i + 2] > mx2 ? s[i + 2] : mx2;
      mx3 = s[i + 3] > mx3 ? s[i + 3] : mx3;
    }
    benchmark::DoNotOptimize(mx0 + mx1 + mx2 + mx3);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.size() * 4));
}
BENCHMARK(BM_PlainScanSameBytes)->Unit(benchmark::kMillisecond)->Iterations(5);

// request 0 = channel 0, -1 = mix. The start alternates between 0 and 1 so
// every iteration misses the cache.
void BM_ViewEnvelopeWholeClip1920(benchmark::State& state) {
  AudioDoc& doc = HourDoc();
  std::vector<float> mins, maxs;
  uint64_t start = 0;
  for (auto _ : state) {
    doc.ViewEnvelope(int32_t(state.range(0)), start, kFrames, 1920, mins, maxs);
    start ^= 1;
    benchmark::DoNotOptimize(mins.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.Frames() * 2 * 4));
}
BENCHMARK(BM_ViewEnvelopeWholeClip1920)->Arg(0)->Arg(-1)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ViewEnvelopeCachedRepeat(benchmark::State& state) {
  AudioDoc& doc = HourDoc();
  std::vector<float> mins, maxs;
  doc.ViewEnvelope(0, 0, kFrames, 1920, mins, maxs);
  for (auto _ : state) {
    doc.ViewEnvelope(0, 0, kFrames, 1920, mins, maxs);
    benchmark::DoNotOptimize(mins.data());
  }
}
BENCHMARK(BM_ViewEnvelopeCachedRepeat)->Unit(benchmark::kMicrosecond);

void BM_MemcpySameBytes(benchmark::State& state) {
  const std::vector<float> s = HourDoc().CopySamples();
  for (auto _ : state) {
    std::vector<float> copy(s);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.size() * 4));
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMillisecond)->Iterations(3);

// Silencing one frame costs one undo snapshot (the budget keeps one).
void BM_UndoSnapshotOfTheHour(benchmark::State& state) {
  setenv("VESK_UNDO_BUDGET_MB", "1500", 1);
  AudioDoc& doc = HourDoc();
  std::string error;
  for (auto _ : state) {
    doc.SetSelection(0, 1);
    doc.SilenceSelection(error);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.Frames() * 2 * 4));
  unsetenv("VESK_UNDO_BUDGET_MB");
}
BENCHMARK(BM_UndoSnapshotOfTheHour)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DeleteMiddleThirdOfTheHour(benchmark::State& state) {
  setenv("VESK_UNDO_BUDGET_MB", "1500", 1);
  AudioDoc& doc = HourDoc();
  std::string error;
  for (auto _ : state) {
    doc.SetSelection(kFrames / 3, 2 * kFrames / 3);
    doc.DeleteSelection(error);
    state.PauseTiming();
    doc.Undo();
    state.ResumeTiming();
  }
  unsetenv("VESK_UNDO_BUDGET_MB");
}
BENCHMARK(BM_DeleteMiddleThirdOfTheHour)->Unit(benchmark::kMillisecond)->Iterations(3);

// One minute of stereo 44.1 kHz at 192 kbps; the counter is the real-time factor.
constexpr uint32_t kMp3Rate = 44100;
const std::vector<float>& MinuteAt44k() {
  static const std::vector<float> v = [] {
    std::vector<float> s(size_t(kMp3Rate) * 60 * 2);
    for (size_t f = 0; f < s.size() / 2; ++f) {
      s[2 * f] = float(0.4 * std::sin(double(f) * 2 * 3.14159265358979323846 * 440 / kMp3Rate));
      s[2 * f + 1] = float(0.3 * std::sin(double(f) * 2 * 3.14159265358979323846 * 660 / kMp3Rate));
    }
    return s;
  }();
  return v;
}

void BM_Mp3SinkMinute192(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "vesk-bench.mp3";
  std::string error;
  for (auto _ : state) WriteMp3File(path, AudioFormat{kMp3Rate, 2, 16}, MinuteAt44k(), 192, error);
  std::filesystem::remove(path);
  state.counters["realtime_x"] =
      benchmark::Counter(60.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Mp3SinkMinute192)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// The ffmpeg program's libmp3lame at the same quality setting, timed around
// the whole process (start-up included, a few tens of milliseconds).
void BM_FfmpegLibmp3lameMinute192(benchmark::State& state) {
  const auto raw = std::filesystem::temp_directory_path() / "vesk-bench.f32";
  const auto out = std::filesystem::temp_directory_path() / "vesk-bench-ff.mp3";
  {
    std::ofstream f(raw, std::ios::binary);
    f.write(reinterpret_cast<const char*>(MinuteAt44k().data()), std::streamsize(MinuteAt44k().size() * 4));
  }
  const std::string cmd = "ffmpeg -v error -y -f f32le -ar 44100 -ac 2 -i '" + raw.string() +
                          "' -c:a libmp3lame -b:a 192k -compression_level 2 '" + out.string() + "'";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
  std::filesystem::remove(raw);
  std::filesystem::remove(out);
  state.counters["realtime_x"] =
      benchmark::Counter(60.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FfmpegLibmp3lameMinute192)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace
}  // namespace vesk

BENCHMARK_MAIN();
