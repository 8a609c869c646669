// WAV writing throughput: a one-hour 48 kHz stereo float buffer written with
// WriteWavFile as 16-bit, 24-bit and float, against a dd-style raw write of
// the same byte count in the same half-second blocks to the same folder,
// with and without the once-per-second header rewrite. Each run ends with
// the data flushed to the device, as Close does.
//
// VESK_BENCH_SECONDS shortens the buffer (default 3600); VESK_BENCH_DIR
// picks the folder (default the temp folder).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "media/wav_format.h"
#include "media/wav_sink.h"
#include "platform/file.h"

namespace {

namespace fs = std::filesystem;

constexpr vesk::AudioFormat kFormat{48000, 2, 32};

uint64_t Seconds() {
  const char* s = std::getenv("VESK_BENCH_SECONDS");
  const long v = s ? std::atol(s) : 0;
  return v > 0 ? uint64_t(v) : 3600;
}

fs::path Folder() {
  const char* d = std::getenv("VESK_BENCH_DIR");
  return d ? fs::path(d) : fs::temp_directory_path();
}

const std::vector<float>& Buffer() {
  static const std::vector<float> buffer = [] {
    std::vector<float> v(Seconds() * kFormat.sampleRate * kFormat.channels);
    for (size_t i = 0; i < v.size(); ++i) v[i] = float(0.5 * std::sin(double(i) * 0.0137));
    return v;
  }();
  return buffer;
}

void WavSinkWrite(benchmark::State& state) {
  const int bits = int(state.range(0));
  const std::vector<float>& samples = Buffer();
  const fs::path path = Folder() / "vesk-bench-sink.wav";
  std::string error;
  for (auto _ : state) {
    if (!vesk::WriteWavFile(path, kFormat, samples, error, bits)) state.SkipWithError(error.c_str());
  }
  fs::remove(path);
  state.SetBytesProcessed(int64_t(state.iterations() * samples.size() * (bits / 8)));
}

// dd-style: the same bytes in the same block size from a ready buffer, no
// conversion; optionally the header rewrite once per second of audio.
void RawWrite(benchmark::State& state) {
  const int bits = int(state.range(0));
  const bool refill = state.range(1) != 0;
  const uint64_t perSecond = uint64_t(bits / 8) * kFormat.channels * kFormat.sampleRate;
  const uint64_t total = Buffer().size() * uint64_t(bits / 8);
  std::vector<uint8_t> block(perSecond / 2, 0x5A);
  const auto header = vesk::BuildWavHeader(vesk::AudioFormat{48000, 2, uint16_t(bits)}, 0);
  const fs::path path = Folder() / "vesk-bench-raw.wav";
  for (auto _ : state) {
    vesk::File f;
    f.OpenWrite(path);
    f.Write(header.data(), header.size());
    uint64_t done = 0, lastRefill = 0;
    while (done < total) {
      const size_t n = size_t(std::min<uint64_t>(block.size(), total - done));
      f.Write(block.data(), n);
      done += n;
      if (refill && done - lastRefill >= perSecond) {
        f.Seek(0);
        f.Write(header.data(), header.size());
        f.Seek(int64_t(header.size() + done));
        lastRefill = done;
      }
    }
    f.Flush();
  }
  fs::remove(path);
  state.SetBytesProcessed(int64_t(state.iterations() * total));
}

BENCHMARK(WavSinkWrite)->Arg(16)->Arg(24)->Arg(32)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(RawWrite)
    ->ArgsProduct({{16, 24, 32}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
