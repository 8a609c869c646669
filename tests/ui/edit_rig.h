#pragma once
// An edit area over a real document, a scripted view port and a playback
// stream whose "device" renders only when the test says so.
#include <deque>
#include <functional>
#include <optional>
#include <map>
#include <string>
#include <vector>

#include "audio/playback_stream.h"
#include "doc/audio_doc.h"
#include "support/scripted_view.h"
#include "ui/denoise_controller.h"
#include "ui/edit_area.h"
#include "ui/window_port.h"
#include "ui/window_state.h"

namespace vesk::ui {

// The tests' way to the opened-media record the file flows fill in.
struct EditAreaTestAccess {
  static void SetPicture(EditArea& area, bool hasPicture) { area.opened_.hasPicture = hasPicture; }
  static void SetPlayHead(EditArea& area, uint64_t frame) { area.view_.SetPlayHead(frame); }
};

}  // namespace vesk::ui

namespace vesk::test {

// What the application controller answers the parts, scripted: settings
// saves and document notifications are counted, recording and free memory
// are set by the test, playback questions go to the parts given.
struct PartsHost : ui::AppServices {
  int settingsSaves = 0;
  bool recording = false;
  uint64_t memory = ~uint64_t(0);
  std::vector<ui::DocumentChange> changes;
  ui::EditArea* area = nullptr;
  ui::DenoiseController* denoise = nullptr;

  void SaveSettings() override { ++settingsSaves; }
  bool Recording() const override { return recording; }
  bool RecordingPaused() const override { return false; }
  bool FreeMemory(uint64_t& bytes) const override {
    bytes = memory;
    return true;
  }
  void DocumentChanged(ui::DocumentChange change) override {
    changes.push_back(change);
    if (change == ui::DocumentChange::Replaced && area) area->OnDocumentChanged(ui::ViewReset::KeepZoom);
  }
  bool Playing() const override { return area != nullptr && area->Playing(); }
  void StopPlayback() override {
    if (area) area->StopPlayback();
  }
  ui::PlaybackBuffer PlaybackSource() override;
  void PlaybackSourceChanged() override {
    if (area) area->PlaybackBufferChanged();
  }
  ui::ExportDenoise ExportDenoiseStep(ui::ExportKind kind, const std::filesystem::path& output) override;
  std::optional<WindowRect> SavedPreviewRect(const ScreenMetrics&) const override { return std::nullopt; }
};

// The window of the parts: a scripted view behind a window port whose state
// the parts describe, brought to the view before dialogs and by Refresh.
struct PartsWindow {
  ScriptedView view;
  std::function<void(ui::WindowFacts&)> describe;
  ui::WindowPort port{view, view, [this] { Refresh(); }};
  std::optional<ui::WindowState> shown;

  ui::WindowState Compute() {
    ui::WindowFacts facts;
    if (describe) describe(facts);
    facts.status = port.StatusText();
    facts.statusDetails = port.HasDetails();
    facts.wavePaints = port.WavePaints();
    return ui::ComputeWindowState(facts);
  }
  void Refresh() {
    ui::WindowState next = Compute();
    view.Apply(ui::DiffWindowState(shown ? &*shown : nullptr, next));
    shown = std::move(next);
  }
};

// A stereo float "device" at the buffer's own rate that renders when Advance
// is called; everything rendered is kept.
class ManualPlayback : public PlaybackStream {
 public:
  bool failStart = false;
  int starts = 0;
  const SampleSource* startedWith = nullptr;
  std::vector<float> rendered;

  void Stop() override {
    running_ = false;
    ForgetBuffer();
  }
  // The source the next callback reads (a pending swap taken over).
  const SampleSource* Source() {
    if (Running()) Render(nullptr, 0);
    return source_;
  }
  // One device callback of `frames` frames.
  void Advance(size_t frames) {
    if (!Running()) return;
    std::vector<float> block(frames * 2);
    if (!Render(block.data(), frames)) running_ = false;
    rendered.insert(rendered.end(), block.begin(), block.end());
  }

 protected:
  bool StartDevice(std::string& error) override {
    ++starts;
    startedWith = source_;
    if (failStart) {
      error = "初始化播放流 失败（HRESULT 0x88890008）。";
      return false;
    }
    PrepareRender(format_.sampleRate, DeviceSampleFormat{2, 32, true});
    rendered.clear();
    return true;
  }
};

inline ui::PlaybackBuffer PartsHost::PlaybackSource() {
  return denoise != nullptr ? denoise->PlaybackBufferForAudition() : ui::PlaybackBuffer{};
}
inline ui::ExportDenoise PartsHost::ExportDenoiseStep(ui::ExportKind kind, const std::filesystem::path& output) {
  return denoise != nullptr ? denoise->ForExport(kind, output) : ui::ExportDenoise{};
}

struct EditRig {
  AudioDoc doc;
  PartsWindow window;
  ScriptedView& view = window.view;
  ManualPlayback playback;
  SettingsState settings;
  PartsHost host;
  ui::EditArea area;

  EditRig() : area(ui::EditContext{&window.port, &doc, &playback, nullptr, &settings, &host}) {
    host.area = &area;
    window.describe = [this](ui::WindowFacts& f) {
      f.recording = host.recording;
      area.Describe(f);
    };
  }

  // What the window shows now.
  ui::WindowState State() {
    window.Refresh();
    return *window.shown;
  }
  std::string Label(int id) { return State().Control(id).label.value_or(""); }
  const std::string& Status() const { return window.port.StatusText(); }

  // Adopts the clip as a finished recording would be taken in.
  void Load(std::vector<float> samples, uint32_t rate = 48000, uint16_t channels = 2) {
    std::string error;
    if (!doc.Adopt(AudioFormat{rate, channels, 16}, std::move(samples), "/clips/take.wav", error, 16))
      throw std::runtime_error(error);
    area.OnRecordingLoaded();
  }

  bool Key(ui::Key key, bool ctrl = false, bool shift = false, bool repeat = false) {
    const ui::KeyEvent event{key, ctrl, shift, repeat};
    // The controller's road: a key that stands for a command runs its button.
    if (const int command = area.KeyCommand(event)) return area.HandleCommand(command);
    return area.OnKey(event);
  }
  void Mouse(ui::MouseAction action, int x, int y = 50, ui::MouseButton button = ui::MouseButton::Left) {
    area.OnMouse(ui::MouseEvent{action, button, x, y}, kWidth, kHeight);
  }
  void Drag(int from, int to) {
    Mouse(ui::MouseAction::Press, from);
    Mouse(ui::MouseAction::Move, (from + to) / 2);
    Mouse(ui::MouseAction::Move, to);
    Mouse(ui::MouseAction::Release, to);
  }

  static constexpr int kWidth = 1000;
  static constexpr int kHeight = 200;
};

}  // namespace vesk::test
