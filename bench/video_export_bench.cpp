// Edited-video export against a plain ffmpeg mux of the same inputs. The
// video comes from VESK_BENCH_VIDEO (scripts/bench-video-export.sh makes a
// 10-minute 1080p H.264 file); the edited track is a stereo tone of the same
// length. The plain run is the very ffmpeg command the export runs (same
// options: picture copied, AAC at 192 kbit/s, the edited track padded, the
// shortest stream ends the file) on a 32-bit float WAV written outside the
// timing, so the difference is our own work: the probe and writing the
// temporary WAV.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "media/wav_sink.h"
#include "platform/folders.h"
#include "video/ffmpeg_export.h"
#include "video/ffmpeg_runner.h"
#include "video/media_probe.h"

namespace {

namespace fs = std::filesystem;
using namespace vesk;

// The options' defaults (AAC at 192 kbit/s, the edited track only); both
// runs get the same, whichever codec is chosen here.
const VideoEditedExportOptions kOptions{};

struct Inputs {
  fs::path video, ffmpeg, work;
  std::vector<float> samples;
  AudioFormat format{48000, 2, 16};
  double seconds = 0;
  bool ready = false;
};

Inputs& Get() {
  static Inputs in = [] {
    Inputs i;
    const char* v = std::getenv("VESK_BENCH_VIDEO");
    if (!v) return i;
    i.video = v;
    i.ffmpeg = LocateFfmpeg({}).path;
    i.work = TempDir() / "vesk-bench-video";
    fs::create_directories(i.work);
    SetFfmpegRunFolder(i.work);
    VideoProbeResult probe;
    std::string error;
    if (!ProbeVideo(i.video, probe, error, i.ffmpeg) || probe.duration <= 0) return i;
    i.seconds = probe.duration;
    const size_t frames = size_t(probe.duration * 48000);
    i.samples.resize(frames * 2);
    for (size_t f = 0; f < frames; ++f) i.samples[2 * f] = i.samples[2 * f + 1] = 0.3f * float(std::sin(f * 0.0576));
    i.ready = true;
    return i;
  }();
  return in;
}

void BM_ExportVideoEdited(benchmark::State& state) {
  Inputs& in = Get();
  if (!in.ready) return state.SkipWithError("set VESK_BENCH_VIDEO to an H.264 video");
  for (auto _ : state) {
    fs::path actual;
    std::string error;
    double duration = 0;
    if (!ExportVideoEditedViaFfmpeg(in.ffmpeg, in.video, in.samples, in.format, kOptions, in.work / "ours.mp4", actual,
                                    error, &duration, {}))
      return state.SkipWithError(error.c_str());
  }
  state.counters["video_s"] = in.seconds;
}

void BM_PlainFfmpegMux(benchmark::State& state) {
  Inputs& in = Get();
  if (!in.ready) return state.SkipWithError("set VESK_BENCH_VIDEO to an H.264 video");
  // The plain run gets its audio file for free (written outside the timing),
  // in the export's own format.
  const fs::path wav = in.work / "plain.wav";
  std::string error;
  WriteWavFile(wav, in.format, in.samples, error, 32);
  const std::vector<std::string> args =
      BuildFfmpegArgs(in.video.string(), wav.string(), kOptions, (in.work / "plain.mp4").string(), false);
  for (auto _ : state) {
    std::string output;
    if (!RunFfmpeg(in.ffmpeg, args, output, 0, {})) return state.SkipWithError(output.c_str());
  }
}

BENCHMARK(BM_ExportVideoEdited)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlainFfmpegMux)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
