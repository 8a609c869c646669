// Decoding long compressed files with LoadAudioFile against the ffmpeg
// program writing the same float samples to /dev/null. Files come from
// VESK_BENCH_MP3 and VESK_BENCH_FLAC (scripts/bench-decode.sh makes one-hour
// stereo files); without them ten-minute files are made with the ffmpeg
// program in the temp folder. Run one benchmark per process
// (--benchmark_filter) so that the peak-memory counter sees only that decode.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_loader.h"

namespace {

namespace fs = std::filesystem;

fs::path BenchFile(const char* variable, const char* name, const char* codecArgs) {
  if (const char* p = std::getenv(variable)) return p;
  const fs::path path = fs::temp_directory_path() / name;
  if (!fs::exists(path)) {
    const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i 'sine=f=440:d=600:r=44100' -f lavfi -i "
                            "'anoisesrc=d=600:r=44100:a=0.1' -filter_complex '[0:a][1:a]join=inputs=2:"
                            "channel_layout=stereo' " +
                            std::string(codecArgs) + " '" + path.string() + "'";
    if (std::system(cmd.c_str()) != 0) return {};
  }
  return path;
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void Decode(benchmark::State& state, const fs::path& path) {
  if (path.empty()) {
    state.SkipWithError("no input file");
    return;
  }
  const long before = PeakRssKb();
  double sampleBytes = 0;
  long peakGrowth = 0;
  for (auto _ : state) {
    vesk::AudioFormat format;
    std::vector<float> samples;
    std::string error;
    if (!vesk::LoadAudioFile(path, format, samples, error)) state.SkipWithError(error.c_str());
    sampleBytes = double(samples.size() * sizeof(float));
    benchmark::DoNotOptimize(samples.data());
    if (peakGrowth == 0) peakGrowth = PeakRssKb() - before;
  }
  state.counters["sample_MB"] = sampleBytes / 1e6;
  // Peak resident growth of the first decode over the decoded bytes.
  state.counters["peak_ratio"] = sampleBytes > 0 ? double(peakGrowth) * 1024.0 / sampleBytes : 0;
}

void FfmpegProgram(benchmark::State& state, const fs::path& path) {
  if (path.empty()) {
    state.SkipWithError("no input file");
    return;
  }
  const std::string cmd = "ffmpeg -nostdin -v error -i '" + path.string() + "' -f f32le -y /dev/null";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
}

fs::path Mp3() { return BenchFile("VESK_BENCH_MP3", "vesk-bench-10min.mp3", "-c:a libmp3lame -b:a 192k"); }
fs::path Flac() { return BenchFile("VESK_BENCH_FLAC", "vesk-bench-10min.flac", "-c:a flac"); }

void BM_LoadAudioFile_Mp3(benchmark::State& s) { Decode(s, Mp3()); }
void BM_FfmpegProgram_Mp3(benchmark::State& s) { FfmpegProgram(s, Mp3()); }
void BM_LoadAudioFile_Flac(benchmark::State& s) { Decode(s, Flac()); }
void BM_FfmpegProgram_Flac(benchmark::State& s) { FfmpegProgram(s, Flac()); }
BENCHMARK(BM_LoadAudioFile_Mp3)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FfmpegProgram_Mp3)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LoadAudioFile_Flac)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FfmpegProgram_Flac)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
