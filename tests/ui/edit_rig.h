#pragma once
// An edit area over a real document, a scripted view port and a playback
// stream whose "device" renders only when the test says so.
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "audio/playback_stream.h"
#include "doc/audio_doc.h"
#include "ui/edit_area.h"

namespace vesk::ui {

// The tests' way to the opened-media record the file flows fill in.
struct EditAreaTestAccess {
  static void SetPicture(EditArea& area, bool hasPicture) { area.opened_.hasPicture = hasPicture; }
  static void SetPlayHead(EditArea& area, uint64_t frame) { area.view_.SetPlayHead(frame); }
  static const std::vector<float>& FullLengthSamples(const EditArea& area) { return area.full_.samples; }
};

}  // namespace vesk::ui

namespace vesk::test {

// Remembers what the edit area showed; answers boxes with their default.
class EditRigView : public ui::ViewPort {
 public:
  std::string status;
  std::vector<std::string> statuses;
  std::string info;
  std::map<int, std::string> controlText;
  std::map<int, bool> enabled;
  int waveRepaints = 0;
  struct Box {
    ui::BoxKind kind;
    std::string title, text;
  };
  std::vector<Box> boxes;
  ui::FocusKind focus = ui::FocusKind::Wave;

  void SetText(ui::TextView view, const std::string& text) override {
    if (view == ui::TextView::Status) {
      status = text;
      statuses.push_back(text);
    } else if (view == ui::TextView::EditorInfo) {
      info = text;
    }
  }
  void SetControlText(int id, const std::string& text) override { controlText[id] = text; }
  void SetControlEnabled(int id, bool on) override { enabled[id] = on; }
  void SetComboItems(int, const std::vector<std::string>&, int) override {}
  void SetComboSelection(int, int) override {}
  void SetTooltip(int, const std::string&) override {}
  void Repaint(ui::PaintArea area) override { waveRepaints += area == ui::PaintArea::Wave; }
  ui::BoxAnswer ShowBox(ui::BoxKind kind, const std::string& title, const std::string& text, ui::BoxButtons,
                        ui::BoxAnswer defaultButton) override {
    boxes.push_back({kind, title, text});
    return defaultButton;
  }
  bool PickFile(const ui::FileDialogRequest&, std::filesystem::path&) override { return false; }
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
  ui::TrackDialogResult ShowTrackDialog(const ui::TrackDialogModel&) override { return {}; }
  ui::FocusKind Focus() const override { return focus; }
};

// A stereo float "device" at the buffer's own rate that renders when Advance
// is called; everything rendered is kept.
class ManualPlayback : public PlaybackStream {
 public:
  bool failStart = false;
  int starts = 0;
  const float* startedWith = nullptr;
  std::vector<float> rendered;

  void Stop() override {
    running_ = false;
    ForgetBuffer();
  }
  // The buffer the next callback reads (a pending swap taken over).
  const float* Source() {
    if (Running()) Render(nullptr, 0);
    return samples_;
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
    startedWith = samples_;
    if (failStart) {
      error = "初始化播放流 失败（HRESULT 0x88890008）。";
      return false;
    }
    PrepareRender(format_.sampleRate, DeviceSampleFormat{2, 32, true});
    rendered.clear();
    return true;
  }
};

struct EditRig {
  AudioDoc doc;
  EditRigView view;
  ManualPlayback playback;
  SettingsState settings;
  int settingsSaves = 0;
  bool recording = false;
  uint64_t availableMemory = ~uint64_t(0);
  ui::EditArea area;

  EditRig() : area(Context()) {}

  ui::EditContext Context() {
    ui::EditContext c;
    c.view = &view;
    c.doc = &doc;
    c.playback = &playback;
    c.settings = &settings;
    c.saveSettings = [this] { ++settingsSaves; };
    c.isRecording = [this] { return recording; };
    c.availableMemory = [this] { return availableMemory; };
    return c;
  }

  // Adopts the clip as a finished recording would be taken in.
  void Load(std::vector<float> samples, uint32_t rate = 48000, uint16_t channels = 2) {
    std::string error;
    if (!doc.Adopt(AudioFormat{rate, channels, 16}, std::move(samples), "/clips/take.wav", error, 16))
      throw std::runtime_error(error);
    area.OnRecordingLoaded();
  }

  bool Key(ui::Key key, bool ctrl = false, bool shift = false, bool repeat = false) {
    return area.OnKey(ui::KeyEvent{key, ctrl, shift, repeat});
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
