#pragma once
// The level tools of the edit area. The loudness reading of the selection
// (or, without one, the whole clip) goes into the information line; it is
// measured a slice per tick, so a long take never holds the window. The
// 响度标准化 split button and its menu edit the selection or the whole
// clip: normalisation to a platform preset or a custom target, gain, fades
// and mains-hum removal. Each edit is one undoable step; the denoise cache,
// the preview and the exports follow it like any other edit.
//
// Threads: the user-interface thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"
#include "doc/stretch_render.h"
#include "ui/app_services.h"
#include "ui/view_port.h"
#include "ui/window_port.h"
#include "ui/window_state.h"

namespace vesk {
class AudioDoc;
class LoudnessMeter;
class SampleSequence;
}  // namespace vesk

namespace vesk::ui {

struct LevelContext {
  WindowPort* port = nullptr;
  AudioDoc* doc = nullptr;
  SettingsState* settings = nullptr;
  AppServices* app = nullptr;
};

class LevelFlow {
 public:
  explicit LevelFlow(LevelContext context);
  ~LevelFlow();
  LevelFlow(const LevelFlow&) = delete;
  LevelFlow& operator=(const LevelFlow&) = delete;

  // The split button and its menu items; false for other ids.
  bool HandleCommand(int id);
  std::vector<MenuItem> Menu() const;
  // Measures the next slice of the reading (a few milliseconds at most).
  void Tick();
  // The reading after the information line; the button's tooltip.
  void Describe(WindowFacts& facts) const;
  // The reading's text once it covers what is selected now; empty while
  // it is being measured or when there is nothing to measure.
  std::string ReadingText() const;

 private:
  struct Span {
    uint64_t from = 0, to = 0;
    bool selection = false;
  };
  // The selection, or the whole clip without one.
  Span Target() const;
  bool Ready(const char* what) const;
  // Replaces the span with `processed` and says `done` (plus the undo
  // warning when the edit could not be made undoable).
  void Commit(const Span& span, const SampleSequence& processed, const std::string& done);
  // The span through `effect`: a stretch at a time into a temporary file
  // when it is longer than the spill limit.
  bool Render(const Span& span, const BufferRender& effect, SampleSequence& out, std::string& error) const;

  void Normalize();
  void AskCustomTarget();
  void AskGain();
  void Fade(bool in);
  void RemoveHum();

  // What the running reading covers: the document state and the span.
  struct ReadingKey {
    uint64_t revision = 0, frames = 0, from = 0, to = 0;
    uint32_t rate = 0;
    uint16_t channels = 0;
    bool operator==(const ReadingKey&) const = default;
  };
  ReadingKey KeyNow() const;

  LevelContext ctx_;
  ReadingKey key_;
  bool keyValid_ = false;
  std::unique_ptr<LoudnessMeter> meter_;
  uint64_t measured_ = 0;  // frames of the span fed so far
  std::string reading_;    // the finished reading of key_
  double lastGainDb_ = 3.0;
};

}  // namespace vesk::ui
