#include "ui/window_state.h"

#include "ui/control_ids.h"

namespace vesk::ui {
namespace {

constexpr const char* kRecordIdle = "●  开始录音";
constexpr const char* kRecordBusy = "■  停止录音";
constexpr const char* kPauseText = "⏸  暂停";
constexpr const char* kResumeText = "▶  继续";
constexpr const char* kPlayText = "▶ 播放 (Space)";
constexpr const char* kStopText = "■ 停止 (Space)";
constexpr const char* kPreviewOpenText = "预览视频";
constexpr const char* kPreviewCloseText = "关闭预览";

// Controls a running recording locks.
constexpr int kLockedWhileRecording[] = {kIdCaptureDevice, kIdRenderDevice, kIdRecordSource, kIdChannels,
                                         kIdFormat,        kIdBitrate,      kIdSampleRate,   kIdBitDepth,
                                         kIdChangeDir,     kIdOpenMedia};
// Controls that need audio in the edit area and no recording.
constexpr int kNeedAudio[] = {kIdPlay,    kIdHome,    kIdTrim,    kIdDelete,    kIdSilence, kIdSelectAll,
                              kIdSaveWav, kIdSaveMp3, kIdSaveVideo, kIdLoudness};

}  // namespace

const ControlState& WindowState::Control(int id) const {
  static const ControlState kUndriven;
  const auto it = controls.find(id);
  return it == controls.end() ? kUndriven : it->second;
}

const std::string& WindowState::Text(TextView view) const {
  static const std::string kEmpty;
  const auto it = texts.find(view);
  return it == texts.end() ? kEmpty : it->second;
}

WindowState ComputeWindowState(const WindowFacts& f) {
  WindowState s;
  auto& c = s.controls;
  const bool idle = !f.recording;

  c[kIdCaptureDevice].items = f.captureItems;
  c[kIdCaptureDevice].selected = f.captureSelected;
  c[kIdRenderDevice].items = f.renderItems;
  c[kIdRenderDevice].selected = f.renderSelected;
  c[kIdRecordSource].selected = int(f.recSource);
  c[kIdChannels].selected = f.channels == 1 ? 1 : 0;
  c[kIdFormat].selected = f.formatWav ? 1 : 0;
  c[kIdBitrate].selected = ItemIndexOf(kBitrateItems, f.bitrateKbps, 0);
  c[kIdBitDepth].selected = ItemIndexOf(kDepthItems, f.bitDepth, 0);
  c[kIdSampleRate].selected = ItemIndexOf(kRateItems, f.shownRate, 1);
  for (int id : kLockedWhileRecording) c[id].enabled = idle;
  // MP3 records 16 bit and has a bit rate; WAV has a depth and no bit rate.
  c[kIdBitDepth].enabled = idle && f.formatWav;
  c[kIdBitrate].enabled = idle && !f.formatWav;
  c[kIdOutputDir].label = f.outputDir;

  ControlState& record = c[kIdRecord];
  record.label = f.recording ? kRecordBusy : kRecordIdle;
  record.checked = f.recording;
  record.enabled = f.recording || f.recordStartable;
  c[kIdPause].label = f.recording && f.paused ? kResumeText : kPauseText;
  c[kIdPause].enabled = f.recording;

  for (int id : kNeedAudio) c[id].enabled = idle && f.hasAudio;
  c[kIdPlay].label = f.playing ? kStopText : kPlayText;
  c[kIdPlay].checked = f.playing;
  // Deleting the whole clip empties the document; its undo stays reachable.
  c[kIdUndo].enabled = idle && f.canUndo;
  c[kIdUndo].tooltip = "撤销上一步编辑（Ctrl+Z）";
  c[kIdRedo].enabled = idle && f.canRedo;
  c[kIdRedo].tooltip = "重做刚才撤销的编辑（Ctrl+Y）";
  c[kIdDenoise].label = f.denoiseLabel;
  c[kIdDenoise].tooltip = f.denoiseTooltip;
  c[kIdLoudness].tooltip = f.loudnessTooltip;
  c[kIdPreview].label = f.previewOpen ? kPreviewCloseText : kPreviewOpenText;
  c[kIdPreview].enabled = f.previewOpen || f.previewAvailable;

  s.texts[TextView::Status] = f.status;
  s.texts[TextView::Size] = f.size;
  s.texts[TextView::MeterInfo] = f.meterInfo;
  s.texts[TextView::Clock] = f.clock;
  s.texts[TextView::EditorInfo] = f.editorInfo;
  s.statusDetails = f.statusDetails;
  s.wavePaints = f.wavePaints;
  s.meterPaints = f.meterPaints;
  return s;
}

WindowChanges DiffWindowState(const WindowState* shown, const WindowState& next) {
  static const ControlState kFresh;
  static const WindowState kBlank;
  const WindowState& before = shown != nullptr ? *shown : kBlank;
  const bool all = shown == nullptr;
  WindowChanges out;
  for (const auto& [id, now] : next.controls) {
    const auto it = before.controls.find(id);
    const ControlState& was = it != before.controls.end() ? it->second : kFresh;
    const bool known = it != before.controls.end() && !all;
    unsigned fields = 0;
    if (now.label && (!known || now.label != was.label)) fields |= kFieldLabel;
    if (!known || now.enabled != was.enabled) fields |= kFieldEnabled;
    if (!known || now.checked != was.checked) fields |= kFieldChecked;
    if (now.tooltip && (!known || now.tooltip != was.tooltip)) fields |= kFieldTooltip;
    if (now.items && (!known || now.items != was.items))
      fields |= kFieldItems;
    else if (now.selected >= 0 && (!known || now.selected != was.selected))
      fields |= kFieldSelection;
    if (fields != 0) out.controls.push_back({id, fields, now});
  }
  for (const auto& [view, text] : next.texts)
    if (all || before.Text(view) != text || !before.texts.count(view)) out.texts.emplace_back(view, text);
  if (all || next.statusDetails != before.statusDetails) out.statusDetails = next.statusDetails;
  out.repaintWave = all || next.wavePaints != before.wavePaints;
  out.repaintMeter = all || next.meterPaints != before.meterPaints;
  return out;
}

}  // namespace vesk::ui
