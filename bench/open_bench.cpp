// Opening a one-hour stereo 48 kHz WAV into the edit area, up to the first
// scene the window paints, against ReadWavFile alone on the same file (the
// target is at most 1.2 times). The file is VESK_BENCH_WAV when set, else
// one is made once in the temp folder (691 MB).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "doc/audio_doc.h"
#include "media/wav_format.h"
#include "media/wav_reader.h"
#include "platform/file.h"
#include "ui/edit_area.h"

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

class NullView final : public ViewPort {
 public:
  void SetText(TextView, const std::string&) override {}
  void SetControlText(int, const std::string&) override {}
  void SetControlEnabled(int, bool) override {}
  void SetComboItems(int, const std::vector<std::string>&, int) override {}
  void SetComboSelection(int, int) override {}
  void SetTooltip(int, const std::string&) override {}
  void Repaint(PaintArea) override {}
  BoxAnswer ShowBox(BoxKind, const std::string&, const std::string&, BoxButtons, BoxAnswer d) override { return d; }
  bool PickFile(const FileDialogRequest&, std::filesystem::path&) override { return false; }
  bool PickFolder(const std::string&, const std::filesystem::path&, std::filesystem::path&) override { return false; }
  void ProgressBegin(const std::string&, bool) override {}
  bool ProgressStep(int, const std::string&) override { return true; }
  void ProgressEnd() override {}
  void PostToUi(std::function<void()> task) override { task(); }
  bool RevealFile(const std::filesystem::path&) override { return false; }
  bool OpenFolder(const std::filesystem::path&) override { return false; }
  bool OpenUrl(const std::string&) override { return false; }
  bool OpenSoundSettings(std::string&) override { return false; }
  void ShowDonationWindow() override {}
  TrackDialogResult ShowTrackDialog(const TrackDialogModel&) override { return {}; }
  FocusKind Focus() const override { return FocusKind::Other; }
};

void BM_ReadWavFileHour(benchmark::State& state) {
  const auto path = HourWav();
  for (auto _ : state) {
    AudioFormat format;
    std::vector<float> samples;
    std::string error;
    bool riff = false;
    if (!ReadWavFile(path, format, samples, error, riff)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(samples.data());
    state.PauseTiming();
    std::vector<float>().swap(samples);  // freed outside the timing, as the open's document is
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ReadWavFileHour)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime()->UseRealTime();

void BM_OpenForEditToFirstScene(benchmark::State& state) {
  const auto path = HourWav();
  NullView view;
  AudioDoc doc;
  SettingsState settings;
  EditContext context;
  context.view = &view;
  context.doc = &doc;
  context.settings = &settings;
  context.isRecording = [] { return false; };
  EditArea area(std::move(context));
  for (auto _ : state) {
    if (!area.OpenForEdit(path)) state.SkipWithError("open failed");
    const WaveScene scene = area.Scene(1920, 400);
    benchmark::DoNotOptimize(&scene);
    state.PauseTiming();
    doc.Clear();  // the next open starts from an empty document, as ReadWavFile does
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenForEditToFirstScene)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
}  // namespace vesk::ui

BENCHMARK_MAIN();
