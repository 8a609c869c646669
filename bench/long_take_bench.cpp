// A long take in the edit area as the window drives it: open to the first
// scene, then 20 deletes of 10 s spread over the take and 20 undos (the
// history keeps the last 12), each followed by the scene the window paints.
// Prints the open time, the slowest delete and undo, the largest growth of
// the peak resident memory in one step and the peak itself. The file is the first argument (any format the
// window opens; a take past one WAV file's limit: its first file).
// Usage: vesk_bench_long_take FILE
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "doc/audio_doc.h"
#include "ui/control_ids.h"
#include "ui/edit_area.h"
#include "silent_view.h"

namespace vesk::ui {
namespace {

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double MsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

int Run(const char* file) {
  AudioDoc doc;
  SilentWindow window{FocusKind::Wave};
  SettingsState settings;
  EditArea area{window.Context(doc, settings)};
  const long base = PeakRssKb();
  auto t = std::chrono::steady_clock::now();
  if (!area.OpenForEdit(file)) {
    std::fprintf(stderr, "open failed\n");
    return 1;
  }
  area.Scene(1920, 400);
  const double open = MsSince(t);
  std::printf("open to first scene: %.0f ms, %.2f h, peak %ld MB\n", open, doc.DurationSeconds() / 3600,
              PeakRssKb() / 1024);
  const uint64_t rate = doc.Format().sampleRate, frames = doc.Frames();
  double slowest[2] = {0, 0};
  long step = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (int k = 20; k >= 1; --k) {
      const long before = PeakRssKb();
      t = std::chrono::steady_clock::now();
      if (pass == 0) {
        const uint64_t at = frames * uint64_t(k) / 21;
        doc.SetSelection(at, at + 10 * rate);
        area.HandleCommand(kIdDelete);
      } else {
        area.HandleCommand(kIdUndo);
      }
      area.Scene(1920, 400);
      slowest[pass] = std::max(slowest[pass], MsSince(t));
      step = std::max(step, PeakRssKb() - before);
    }
  }
  std::printf("slowest delete: %.1f ms, slowest undo: %.1f ms, largest step %ld KB, peak %ld MB (%ld MB over start)\n",
              slowest[0], slowest[1], step, PeakRssKb() / 1024, (PeakRssKb() - base) / 1024);
  // The history keeps the last AudioDoc::kMaxSnapshots steps.
  const uint64_t undone = std::min<uint64_t>(20, AudioDoc::kMaxSnapshots);
  return doc.Frames() == frames - (20 - undone) * 10 * rate ? 0 : 1;
}

}  // namespace
}  // namespace vesk::ui

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vesk_bench_long_take FILE\n");
    return 2;
  }
  return vesk::ui::Run(argv[1]);
}
