// Reading a long recording with ReadWavFile. The file is given by
// VESK_BENCH_WAV (scripts/bench-wav-read.sh makes a one-hour 48 kHz stereo
// 16-bit file and compares against cat and the ffmpeg program); without it a
// ten-minute file is made in the temp folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "media/wav_format.h"
#include "media/wav_reader.h"
#include "platform/file.h"

namespace {

std::filesystem::path BenchFile() {
  if (const char* p = std::getenv("VESK_BENCH_WAV")) return p;
  const auto path = std::filesystem::temp_directory_path() / "vesk-bench-10min.wav";
  const uint32_t frames = 48000u * 600u;
  if (std::filesystem::exists(path) && std::filesystem::file_size(path) == 44 + uint64_t(frames) * 4) return path;
  vesk::File f;
  f.OpenWrite(path);
  const auto h = vesk::BuildWavHeader(vesk::AudioFormat{48000, 2, 16}, frames * 4);
  f.Write(h.data(), h.size());
  std::vector<int16_t> chunk(48000 * 2);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = int16_t((i * 37) % 20000 - 10000);
  for (uint32_t s = 0; s < 600; ++s) f.Write(chunk.data(), chunk.size() * 2);
  return path;
}

void BM_ReadWavFile(benchmark::State& state) {
  const auto path = BenchFile();
  size_t bytes = 0;
  for (auto _ : state) {
    vesk::AudioFormat format;
    std::vector<float> samples;
    std::string error;
    bool riff = false;
    if (!vesk::ReadWavFile(path, format, samples, error, riff)) state.SkipWithError(error.c_str());
    bytes = samples.size() * sizeof(float);
    benchmark::DoNotOptimize(samples.data());
  }
  state.counters["sample_bytes"] = double(bytes);
  state.SetBytesProcessed(int64_t(std::filesystem::file_size(path)) * state.iterations());
}
BENCHMARK(BM_ReadWavFile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
