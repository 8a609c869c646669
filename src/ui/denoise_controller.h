#pragma once
// The editor's noise reduction: the denoise switch and its two levels, the
// background render of the whole document into the cache, audition of the
// denoised copy (switching at the same position), the selection command and
// the export-time step. The waveform is never changed except by the
// selection command, which is undoable.
//
// Threads: the user-interface thread, except the one background render
// thread, which works on its own copies of the samples and of the engine
// record and reports back through ViewPort::PostToUi.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/settings.h"
#include "denoise/denoise_cache.h"
#include "denoise/denoise_engine.h"
#include "ui/app_services.h"
#include "ui/export_denoise.h"
#include "ui/window_port.h"
#include "ui/window_state.h"

namespace vesk {
class AudioDoc;
class SampleSequence;
}

namespace vesk::ui {

// Level names for the status texts (the menu items are DenoiseLevelMenuText
// in export_menus.h).
const char* DenoiseLevelText(int level);

struct DenoiseContext {
  WindowPort* port = nullptr;
  AudioDoc* doc = nullptr;
  SettingsState* settings = nullptr;
  AppServices* app = nullptr;
  // Optional: runs discovery (default DiscoverDenoisePlugin); tests point it
  // at their plug-in folder.
  std::function<void(DenoiseEngine&)> discover;
  // Optional: whether the found plug-in can run (default DenoiseAvailable,
  // which may write the helper to disk).
  std::function<bool(DenoiseEngine&)> usable;
  // Optional: the render (default RunDenoise); called on the render thread too.
  std::function<bool(DenoiseEngine&, std::vector<float>&, uint32_t rate, uint32_t channels, std::string& error,
                     unsigned level)>
      render;
};

enum class DenoiseLevelKind { Audition = 0, Selection = 1 };

class DenoiseController {
 public:
  explicit DenoiseController(DenoiseContext context);
  // Joins a running render, stops audition of a cached copy and empties the
  // cache. Destroy it while playback may still be stopped through AppServices.
  ~DenoiseController();
  DenoiseController(const DenoiseController&) = delete;
  DenoiseController& operator=(const DenoiseController&) = delete;


  // Discovery (window set-up; the switch runs it again).
  void Discover();
  // The denoise button (1031): flips the switch.
  void Toggle();
  // The level menus: 1033–1035 (Audition) and 1047–1049 (Selection).
  void SetLevel(DenoiseLevelKind kind, int level);
  // The 33 ms tick.
  void Tick();
  // The selection command (1032).
  void DenoiseSelection();
  // The drop-down's "把选区设为噪声样本": the document's noise sample.
  void SetNoiseSampleFromSelection();
  // The drop-down's engine items: the built-in engine or the found plug-in
  // (saved in the settings).
  void SetBuiltinEngine(bool builtin);
  // The drop-down's "在独立进程里运行插件（更稳）": flips where the plug-in
  // renders (saved in the settings).
  void ToggleIsolated();
  // That item's check mark: -1 without a plug-in this program would load
  // itself (none found, or a 32-bit one, which always runs in the helper).
  int IsolatedMenuState() const;
  // The switch button's label ("降噪 开/缺/关") and tooltip.
  std::string ButtonLabel() const;
  std::string Tooltip() const;
  // The noise reduction's part of the window state: the switch button.
  void Describe(WindowFacts& facts) const;
  // For AppServices::PlaybackSource.
  PlaybackBuffer PlaybackBufferForAudition();
  // For AppServices::ExportDenoiseStep.
  ExportDenoise ForExport(ExportKind kind, const std::filesystem::path& output);
  // While audition plays: continue on the denoised copy (or the original) at
  // the same frame and within the same loop. False when that buffer is not
  // available or nothing plays.
  bool SwitchPlaybackSource(bool denoised);

  bool PlayingDenoised() const;
  bool Rendering() const { return rendering_.load() != 0; }
  bool Usable() const { return usable_; }
  const DenoiseCache& Cache() const { return cache_; }
  const DenoiseEngine& Engine() const { return engine_; }

 private:
  void OnRenderFinished(int slot);
  bool StartBackgroundRender();
  bool RenderWanted();
  void UpdateCapacity();
  bool FreeMemory(uint64_t& bytes) const;
  DenoiseDocKey DocKey() const;
  bool DocEmpty() const;
  // A document with a selection; otherwise says what is missing (`hint`
  // when only the selection is).
  bool HaveSelection(const char* hint);
  bool AreaPlaying() const;
  int Level() const { return settings().denoiseLevel; }
  SettingsState& settings() const { return *ctx_.settings; }
  void Status(const std::string& text);
  double RenderSeconds() const;
  bool Render(DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate, uint32_t channels,
              std::string& error, unsigned level) const;
  // Renders all of `in` (a stretch at a time into a temporary file past the
  // spill limit).
  bool RenderLong(DenoiseEngine& engine, const SampleSource& in, uint32_t rate, unsigned level, SampleSequence& out,
                  std::string& error) const;
  uint64_t SpillBytes() const;
  // Built-in engine: measures the noise profile on the document's samples
  // (its marked noise sample, else the quietest 2 s) into `engine`.
  bool PrepareNoiseProfile(DenoiseEngine& engine, const SampleSource& samples, uint32_t rate,
                           uint32_t channels, uint64_t from, uint64_t to, std::string& error) const;
  // Which stretch the built-in engine measures ("选定的 …" or the quietest 2 s).
  std::string NoiseSampleText() const;

  DenoiseContext ctx_;
  DenoiseEngine engine_;
  bool usable_ = false;  // DenoiseAvailable, asked once per discovery
  DenoiseCache cache_;
  uint64_t capacityRevision_ = ~uint64_t(0);

  std::thread render_;
  std::atomic<int> rendering_{0};
  std::atomic<bool> stopRender_{false};  // set when the controller goes
  std::chrono::steady_clock::time_point renderStart_;
  std::string renderText_;  // the last "已 … 秒" text shown
  // The last start found no memory for the copy; the tick does not retry
  // that document and level (the switch, a level or an edit does).
  bool noMemory_ = false;
  DenoiseDocKey noMemoryKey_;
  int noMemoryLevel_ = -1;

  // The noise profile of the running render (written by its thread before
  // it posts) and of the last finished one.
  NoiseProfile renderProfile_;
  std::string renderNote_;  // e.g. that the speech model is missing
  NoiseProfile lastProfile_;

  // The copy audition was last handed; kept alive while playback may read it.
  SharedSamples handed_;

  // Posted completions do not run once the controller is gone.
  LifeToken life_;
};

}  // namespace vesk::ui
