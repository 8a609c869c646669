#include "ui/main_layout.h"

#include <algorithm>

#include "ui/control_ids.h"

namespace vesk::ui {
namespace {

constexpr int kMargin = 12;
constexpr int kGap = 8;
constexpr int kRowHeight = 26;
constexpr int kLabelGap = 4;

// Places controls left to right on one row.
class Row {
 public:
  Row(std::vector<LayoutControl>& out, int y, int h) : out_(out), y_(y), h_(h) {}
  LayoutControl& Add(LayoutControl c, int w, int gapAfter = kGap) {
    c.rect = {x_, y_, w, h_};
    x_ += w + gapAfter;
    out_.push_back(std::move(c));
    return out_.back();
  }
  int X() const { return x_; }

 private:
  std::vector<LayoutControl>& out_;
  int x_ = kMargin;
  int y_;
  int h_;
};

LayoutControl Label(std::string text) { return {0, "", ControlKind::Label, std::move(text), {}, false, {}}; }
LayoutControl Control(int id, ControlKind kind, std::string label, std::vector<std::string> options = {}) {
  return {id, "", kind, std::move(label), std::move(options), false, {}};
}
LayoutControl Keyed(std::string key, ControlKind kind, std::string text = {}) {
  return {0, std::move(key), kind, std::move(text), {}, false, {}};
}

}  // namespace

std::vector<LayoutControl> MainLayout(int width, int height) {
  const int w = std::max(width, kMinClientWidth);
  const int h = std::max(height, kMinClientHeight);
  std::vector<LayoutControl> out;
  out.reserve(64);

  // Row 1: the two device lists and the system sound settings.
  {
    const int labelW = 60, settingsW = 84;
    const int listW = (w - 2 * kMargin - 2 * (labelW + kLabelGap) - 2 * kGap - kGap - settingsW) / 2;
    Row row(out, 10, kRowHeight);
    row.Add(Label("录音设备"), labelW, kLabelGap);
    row.Add(Control(kIdCaptureDevice, ControlKind::DropDown, ""), listW);
    row.Add(Label("播放设备"), labelW, kLabelGap);
    row.Add(Control(kIdRenderDevice, ControlKind::DropDown, ""), listW);
    row.Add(Control(kIdSoundSettings, ControlKind::Button, "声音设置"), settingsW);
  }
  // Row 2: recording format.
  {
    Row row(out, 44, kRowHeight);
    row.Add(Label("声道"), 32, kLabelGap);
    row.Add(Control(kIdChannels, ControlKind::DropDown, "", {"立体声", "单声道"}), 84, 14);
    row.Add(Label("格式"), 32, kLabelGap);
    row.Add(Control(kIdFormat, ControlKind::DropDown, "", {"MP3", "WAV(无损)"}), 100, 14);
    row.Add(Label("码率"), 32, kLabelGap);
    row.Add(Control(kIdBitrate, ControlKind::DropDown, "", {"320kbps", "256kbps", "192kbps", "128kbps"}), 92, 14);
    row.Add(Label("采样率"), 46, kLabelGap);
    row.Add(Control(kIdSampleRate, ControlKind::DropDown, "", {"44100", "48000"}), 80, 14);
    row.Add(Label("位深"), 32, kLabelGap);
    row.Add(Control(kIdBitDepth, ControlKind::DropDown, "", {"16bit", "24bit", "32bit浮点"}), 100, 0);
  }
  // Row 3: output folder.
  {
    const int buttonW = 84;
    Row row(out, 78, kRowHeight);
    row.Add(Label("保存到"), 46, kLabelGap);
    const int editW = w - kMargin - row.X() - 2 * (kGap + buttonW);
    row.Add(Control(kIdOutputDir, ControlKind::ReadOnlyEdit, ""), editW);
    row.Add(Control(kIdChangeDir, ControlKind::Button, "更改位置"), buttonW);
    row.Add(Control(kIdOpenLocation, ControlKind::Button, "打开位置"), buttonW, 0);
  }
  // Row 4: recording.
  {
    Row row(out, 114, 40);
    row.Add(Control(kIdRecord, ControlKind::OwnerButton, "●  开始录音"), 150);
    row.Add(Control(kIdRecordSource, ControlKind::DropDown, "", {"麦克风", "电脑声音", "麦克风和电脑声音"}), 150);
    row.Add(Control(kIdPause, ControlKind::Button, "⏸  暂停"), 92);
    LayoutControl clock = Keyed("clock", ControlKind::TextView, "00:00:00.0");
    clock.largeFont = true;
    row.Add(std::move(clock), 124);
    row.Add(Keyed("size", ControlKind::TextView), std::max(60, w - kMargin - row.X()), 0);
  }
  // Row 5: level meter and its numbers.
  {
    const int infoW = 260;
    Row row(out, 162, 20);
    row.Add(Keyed("meter", ControlKind::Meter), w - 2 * kMargin - kGap - infoW);
    row.Add(Keyed("meterInfo", ControlKind::TextView), infoW, 0);
  }
  // Row 6: opening, playing, saving.
  {
    Row row(out, 194, 28);
    row.Add(Control(kIdOpenMedia, ControlKind::Button, "打开音视频"), 90, 6);
    row.Add(Control(kIdPreview, ControlKind::Button, "预览视频"), 78, 6);
    row.Add(Control(kIdHome, ControlKind::Button, "|◀  Home"), 70, 6);
    row.Add(Control(kIdPlay, ControlKind::Button, "▶ 播放 (Space)"), 110, 6);
    row.Add(Control(kIdSaveWav, ControlKind::SplitButton, "剪辑后另存WAV"), 114, 6);
    row.Add(Control(kIdSaveMp3, ControlKind::SplitButton, "剪辑后另存MP3"), 114, 6);
    row.Add(Control(kIdSaveVideo, ControlKind::SplitButton, "剪辑后另存视频"), 112, 0);
  }
  // Row 7: edits and denoise.
  {
    Row row(out, 228, 28);
    row.Add(Control(kIdUndo, ControlKind::Button, "撤销"), 48, 6);
    row.Add(Control(kIdRedo, ControlKind::Button, "重做"), 48, 6);
    row.Add(Control(kIdTrim, ControlKind::Button, "裁剪到选区"), 86, 6);
    row.Add(Control(kIdDelete, ControlKind::Button, "删除选区"), 72, 6);
    row.Add(Control(kIdSilence, ControlKind::Button, "选区静音"), 72, 6);
    row.Add(Control(kIdDenoiseSelection, ControlKind::SplitButton, "选区降噪"), 96, 6);
    row.Add(Control(kIdSelectAll, ControlKind::Button, "全选"), 48, 6);
    row.Add(Control(kIdDenoise, ControlKind::SplitButton, "降噪"), 100, 6);
    row.Add(Control(kIdLoudness, ControlKind::SplitButton, "响度标准化"), 100, 0);
  }
  // The editor's information line, the waveform, the status row.
  const int statusY = h - 32;
  {
    Row row(out, 262, 20);
    row.Add(Keyed("editorInfo", ControlKind::TextView), w - 2 * kMargin, 0);
  }
  {
    Row row(out, 286, statusY - 6 - 286);
    row.Add(Keyed("wave", ControlKind::Wave), w - 2 * kMargin, 0);
  }
  {
    const int webW = 70, donateW = 80;
    Row row(out, statusY, 24);
    row.Add(Keyed("status", ControlKind::TextView), w - 2 * kMargin - 2 * kGap - webW - donateW);
    row.Add(Control(kIdWebSite, ControlKind::Button, "官网 ↗"), webW);
    row.Add(Control(kIdDonate, ControlKind::Button, "捐赠作者"), donateW, 0);
  }
  return out;
}

const LayoutControl* FindControl(const std::vector<LayoutControl>& layout, int id) {
  for (const auto& c : layout)
    if (c.id == id) return &c;
  return nullptr;
}

const LayoutControl* FindControl(const std::vector<LayoutControl>& layout, const std::string& key) {
  for (const auto& c : layout)
    if (c.key == key) return &c;
  return nullptr;
}

}  // namespace vesk::ui
