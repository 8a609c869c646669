// Opening a long file three ways on the same file: the decode alone
// (LoadAudioFile, what --probe-audio runs), the document's Load (decode plus
// taking the samples over), and the edit area's open up to the first scene
// the window paints (targets: Load within 1.1 times the decode, the open
// within 1.2 times). The file is VESK_BENCH_WAV when set (any audio file),
// else a one-hour stereo 48 kHz WAV made once in the temp folder (691 MB).
// Each benchmark opens once; --benchmark_repetitions=N gives medians.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "doc/audio_doc.h"
#include "media/audio_loader.h"
#include "media/wav_format.h"
#include "platform/file.h"
#include "ui/edit_area.h"
#include "silent_view.h"

namespace vesk::ui {
namespace {

std::filesystem::path MakeHourWav() {
  if (const char* p = std::getenv("VESK_BENCH_WAV")) return p;
  const auto path = std::filesystem::temp_directory_path() / "vesk-bench-hour.wav";
  const uint32_t frames = 48000u * 3600u;
  if (std::filesystem::exists(path) && std::filesystem::file_size(path) == 44 + uint64_t(frames) * 4) return path;
  File f;
  f.OpenWrite(path);
  const auto h = BuildWavHeader(AudioFormat{48000, 2, 16}, frames * 4);
  f.Write(h.data(), h.size());
  std::vector<int16_t> chunk(48000 * 2);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = int16_t((i * 37) % 20000 - 10000);
  for (uint32_t s = 0; s < 3600; ++s) f.Write(chunk.data(), chunk.size() * 2);
  return path;
}

// The file, read through once so both benchmarks start from the page cache.
std::filesystem::path HourWav() {
  static const std::filesystem::path path = [] {
    const auto p = MakeHourWav();
    File f;
    std::vector<char> block(1 << 20);
    if (f.OpenRead(p))
      while (f.Read(block.data(), block.size()) > 0) {
      }
    return p;
  }();
  return path;
}

void BM_LoadAudioFile(benchmark::State& state) {
  const auto path = HourWav();
  for (auto _ : state) {
    AudioFormat format;
    std::vector<float> samples;
    std::string error;
    if (!LoadAudioFile(path, format, samples, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(samples.data());
    state.PauseTiming();
    std::vector<float>().swap(samples);  // freed outside the timing, as the open's document is
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadAudioFile)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime()->UseRealTime();

void BM_DocumentLoad(benchmark::State& state) {
  const auto path = HourWav();
  AudioDoc doc;
  for (auto _ : state) {
    std::string error;
    if (!doc.Load(path, error)) state.SkipWithError(error.c_str());
    state.PauseTiming();
    doc.Clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DocumentLoad)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime()->UseRealTime();

void BM_OpenForEditToFirstScene(benchmark::State& state) {
  const auto path = HourWav();
  SilentWindow window;
  AudioDoc doc;
  SettingsState settings;
  EditArea area(window.Context(doc, settings));
  for (auto _ : state) {
    if (!area.OpenForEdit(path)) state.SkipWithError("open failed");
    const WaveScene scene = area.Scene(1920, 400);
    benchmark::DoNotOptimize(&scene);
    state.PauseTiming();
    doc.Clear();  // the next open starts from an empty document, as ReadWavFile does
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenForEditToFirstScene)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
}  // namespace vesk::ui

BENCHMARK_MAIN();
