// The edit area's view, edit commands and keys. Playback is in
// edit_area_play.cpp, opening and saving in edit_area_files.cpp.
#include "ui/edit_area.h"

#include <algorithm>

#include "audio/playback_stream.h"
#include "doc/audio_doc.h"
#include "record/play_head_servo.h"
#include "ui/control_ids.h"
#include "ui/edit_texts.h"
#include "ui/source_timeline.h"
#include "ui/wave_scene_build.h"

namespace vesk::ui {

namespace {

constexpr const char* kTextUndone = "已撤销上一步（Ctrl+Y 可重做）。";
constexpr const char* kTextRedone = "已重做上一步。";
constexpr const char* kTextNothingToUndo = "没有可撤销的操作了。";
constexpr const char* kTextNothingToRedo = "没有可重做的操作了（做过新编辑之后，旧的重做记录就作废了）。";
constexpr const char* kSourceChangedStatus = "源文件在打开之后被改动了，剪辑区里的声音已不可靠。";
constexpr const char* kSourceChangedText =
    "剪辑区正在读取的源文件在打开之后被别的程序改写或截短了，剪辑区里的声音已不可靠（读不到的部分按静音算）。\n\n"
    "请重新打开这个文件再剪辑。";

uint64_t RateOrDefault(uint32_t rate) { return rate ? rate : 48000; }

}  // namespace

EditArea::EditArea(EditContext context) : ctx_(std::move(context)) {}
EditArea::~EditArea() = default;

bool EditArea::Empty() const { return ctx_.doc == nullptr || ctx_.doc->Frames() == 0; }
bool EditArea::Recording() const { return ctx_.app->Recording(); }

void EditArea::Status(const std::string& text) { ctx_.port->Status(text); }

void EditArea::OnRecordingStarted() {
  StopPlayback();
  // The document was emptied for the recording: the opened file is gone.
  open_.SetOpened(OpenedMedia{});
  view_.CancelPress();
  OnDocumentChanged(ViewReset::WholeClip);  // emptied for the live waveform
}

void EditArea::SetLiveSource(PlayHeadServo* servo, uint32_t rate, int channels) {
  live_ = servo;
  liveRate_ = rate;
  liveChannels_ = channels;
  ctx_.port->Repaint(PaintArea::Wave);
}

void EditArea::OnRecordingLoaded() {
  sourceWarned_ = false;
  // A recording has no picture and no other tracks.
  open_.SetOpened(OpenedMedia{});
  live_ = nullptr;
  view_.SetPlayHead(0);
  OnDocumentChanged(ViewReset::WholeClip);
}

void EditArea::RemoveStaleSaveFolders() { save_.RemoveStaleFolders(); }

bool EditArea::HandleFileCommand(int id) {
  switch (id) {
    case kIdOpenMedia: OpenCommand(); return true;
    case kIdSaveWav: save_.SaveAudio(false); return true;
    case kIdSaveMp3: save_.SaveAudio(true); return true;
    case kIdSaveVideo: save_.SaveVideo(); return true;
    default: return false;
  }
}


void EditArea::OpenCommand() {
  std::filesystem::path chosen;
  if (open_.Ask(chosen)) OpenForEdit(chosen);
}

bool EditArea::OpenForEdit(const std::filesystem::path& path) {
  StopPlayback();
  bool viaDialog = false;
  if (!open_.Open(path, viaDialog)) return false;
  ResetViewAfterOpen();
  return true;
}

std::filesystem::path EditArea::PictureFile() const {
  if (!opened_.hasPicture || Empty() || Recording()) return {};
  return opened_.path;
}

double EditArea::PictureSeconds() const {
  const AudioDoc& doc = *ctx_.doc;
  const uint32_t rate = doc.Format().sampleRate;
  if (rate == 0) return 0;
  // Full-length playback runs through deleted ranges on the source timeline
  // (silent there); the picture goes through them with it.
  if (play_.FullLength() && Playing()) return play_.FullLengthSeconds();
  const uint64_t head = std::min(view_.PlayHead(), doc.Frames());
  const uint64_t source = doc.HasCuts() ? SourceTimeline(doc.Segments()).ToSource(head) : head;
  return double(source) / rate;
}

void EditArea::ResetViewAfterOpen() {
  sourceWarned_ = false;
  view_.CancelPress();
  view_.SetPlayHead(0);
  OnDocumentChanged(ViewReset::WholeClip);
}

void EditArea::OnDocumentChanged(ViewReset reset) {
  const uint64_t n = ctx_.doc->Frames();
  if (reset == ViewReset::WholeClip)
    view_.ShowWhole(n);
  else
    view_.KeepZoom(n);
  ctx_.port->Repaint(PaintArea::Wave);
}

bool EditArea::HandleCommand(int id) {
  switch (id) {
    case kIdPlay:
      play_.Command();
      return true;
    case kIdHome:
      if (Empty()) {
        Status("剪辑区里还没有内容。");
      } else if (!Recording()) {
        MovePlayHead(0);
        Status("已回到开头 0:00，空格从头播放。");
      }
      return true;
    case kIdUndo:
    case kIdRedo:
      if (!Recording()) UndoRedo(id == kIdRedo);
      return true;
    case kIdTrim:
      if (!Recording()) Edit(&AudioDoc::TrimToSelection, "已裁剪到选区。", ViewReset::WholeClip);
      return true;
    case kIdDelete:
      if (!Recording()) Edit(&AudioDoc::DeleteSelection, "已删除选区。", ViewReset::KeepZoom);
      return true;
    case kIdSilence:
      if (!Recording()) Edit(&AudioDoc::SilenceSelection, "选区已静音。", ViewReset::KeepZoom);
      return true;
    case kIdSelectAll:
      if (!Recording()) SelectAll();
      return true;
    default:
      return HandleFileCommand(id);
  }
}

void EditArea::Edit(bool (AudioDoc::*call)(std::string&), const char* success, ViewReset reset) {
  StopPlayback();
  AudioDoc& doc = *ctx_.doc;
  const uint64_t selStart = doc.SelectionStart();
  std::string error;
  if (!(doc.*call)(error)) {
    Status(error);
    return;
  }
  // The document's word (the edit cannot be undone) replaces the success text.
  Status(error.empty() ? std::string(success) : error);
  if (call == &AudioDoc::TrimToSelection) view_.SetPlayHead(0);
  if (call == &AudioDoc::DeleteSelection) view_.SetPlayHead(std::min(doc.Frames(), selStart));
  OnDocumentChanged(reset);
}

void EditArea::UndoRedo(bool redo) {
  StopPlayback();
  if (!(redo ? ctx_.doc->Redo() : ctx_.doc->Undo())) {
    Status(redo ? kTextNothingToRedo : kTextNothingToUndo);
    return;
  }
  Status(redo ? kTextRedone : kTextUndone);
  OnDocumentChanged(ViewReset::KeepZoom);  // also clamps the play head
}

void EditArea::SelectAll() {
  StopPlayback();
  SetSelection(0, ctx_.doc->Frames());
}

void EditArea::SetSelection(uint64_t a, uint64_t b) {
  ctx_.doc->SetSelection(a, b);
  play_.UpdateLoop();
  ctx_.port->Repaint(PaintArea::Wave);
}

void EditArea::MovePlayHead(uint64_t frame) {
  view_.SetPlayHead(frame);
  if (Playing()) play_.Seek(view_.PlayHead());
  ctx_.port->Repaint(PaintArea::Wave);
}

bool EditArea::Playing() const { return play_.Playing(); }
void EditArea::StopPlayback() { play_.Stop(); }
void EditArea::RestartPlaybackOnNewDevice() { play_.RestartOnNewDevice(); }
void EditArea::PlaybackBufferChanged() { play_.BufferChanged(); }

void EditArea::Tick() {
  if (play_.Tick()) ctx_.port->Repaint(PaintArea::Wave);
  if (Recording() && live_ != nullptr && !(ctx_.app->RecordingPaused()))
    ctx_.port->Repaint(PaintArea::Wave);
  // About once a second: the file the clip is read from must still hold
  // what it held when it was opened.
  if (++sourceCheckTicks_ >= 30) {
    sourceCheckTicks_ = 0;
    CheckSource();
  }
}

void EditArea::CheckSource() {
  if (sourceWarned_ || Empty() || !ctx_.doc->SourceChanged()) return;
  sourceWarned_ = true;
  play_.Stop();
  Status(kSourceChangedStatus);
  ctx_.port->ShowBox(BoxKind::Warning, "源文件被改动", kSourceChangedText);
}

void EditArea::Describe(WindowFacts& facts) const {
  facts.hasAudio = !Empty();
  facts.canUndo = ctx_.doc->UndoCount() > 0;
  facts.canRedo = ctx_.doc->RedoCount() > 0;
  facts.playing = Playing();
  facts.editorInfo = InfoLine();
}

// Keys, in the order of precedence the edit area gives them.
bool EditArea::KeyForWave(const KeyEvent& key) const {
  if (Recording() || Empty()) return false;
  const FocusKind focus = ctx_.port->Focus();
  return focus != FocusKind::TextField && !(focus == FocusKind::DropDown && key.key == Key::Space);
}

int EditArea::KeyCommand(const KeyEvent& key) const {
  if (key.autoRepeat) return 0;
  if (key.ctrl && key.key == Key::O) return Recording() ? 0 : kIdOpenMedia;
  if (!KeyForWave(key)) return 0;
  switch (key.key) {
    case Key::Z: return key.ctrl ? (key.shift ? kIdRedo : kIdUndo) : 0;
    case Key::Y: return key.ctrl ? kIdRedo : 0;
    case Key::Space: return kIdPlay;
    case Key::A: return key.ctrl ? kIdSelectAll : 0;
    case Key::Delete: return kIdDelete;
    case Key::Home: return kIdHome;
    default: return 0;
  }
}

bool EditArea::OnKey(const KeyEvent& key) {
  if (!KeyForWave(key)) return false;

  AudioDoc& doc = *ctx_.doc;
  const bool hasSelection = doc.SelectionEnd() > doc.SelectionStart();
  switch (key.key) {
    case Key::Left:
    case Key::Right:
      if (hasSelection)
        NudgeSelection(key.key == Key::Left, key.shift);
      else
        StepPlayHead(key.key == Key::Left);
      return true;
    case Key::Up:
    case Key::Down:
      Status(hasSelection ? "已经有选区了：←/→ 调选区末尾，Shift+←/→ 调开头，Esc 清除选区。"
                          : "←/→ 挪播放头。想微调选区边界，先在波形上框选一段。");
      return true;
    default:
      break;
  }
  if (key.autoRepeat) return true;
  switch (key.key) {
    case Key::Escape:
      if (hasSelection) {
        SetSelection(0, 0);
        Status("已清除选区。");
      }
      return true;
    case Key::End:
      MovePlayHead(doc.Frames());
      Status("已跳到末尾。");
      return true;
    default:
      return false;
  }
}

bool EditArea::NudgeSelection(bool left, bool moveStart) {
  AudioDoc& doc = *ctx_.doc;
  const uint32_t rate = doc.Format().sampleRate;
  const uint64_t step = std::max<uint64_t>(RateOrDefault(rate) / 100, 1);
  const uint64_t n = doc.Frames();
  uint64_t s = doc.SelectionStart(), e = doc.SelectionEnd();
  const uint64_t s0 = s, e0 = e;
  if (moveStart)
    s = left ? (s > step ? s - step : 0) : std::min(e - 1, s + step);
  else
    e = left ? std::max(e > step ? e - step : 0, s + 1) : std::min(n, e + step);
  if (s == s0 && e == e0) {
    Status("选区已经挪到头了（左端到 0 / 右端到末尾 / 再挪选区就空了）。");
    return false;
  }
  SetSelection(s, e);
  s = doc.SelectionStart();
  e = doc.SelectionEnd();
  Status("选区 " + TimeText(s, rate) + " – " + TimeText(e, rate) + "（长 " + TimeText(e - s, rate) +
         "）。←/→ 调末尾，Shift+←/→ 调开头。");
  return true;
}

void EditArea::StepPlayHead(bool left) {
  AudioDoc& doc = *ctx_.doc;
  const uint32_t rate = doc.Format().sampleRate;
  const uint64_t step = std::max<uint64_t>({view_.Visible() / 100, RateOrDefault(rate) / 1000, 1});
  const uint64_t n = doc.Frames();
  const uint64_t head = Playing() ? play_.DocumentFrame() : view_.PlayHead();
  if (left && head == 0) {
    Status("播放头已经在开头了。");
    return;
  }
  if (!left && head >= n) {
    Status("播放头已经在末尾了。");
    return;
  }
  MovePlayHead(left ? (head > step ? head - step : 0) : std::min(n, head + step));
  Status("播放头 " + TimeText(view_.PlayHead(), rate) + "。框选一段之后，←/→ 就变成微调选区边界。");
}

void EditArea::MarkViewUsed() {
  if (ctx_.settings == nullptr || ctx_.settings->hintPanZoom) return;
  ctx_.settings->hintPanZoom = true;
  ctx_.app->SaveSettings();
}

bool EditArea::OnMouse(const MouseEvent& event, int viewWidth, int viewHeight) {
  if (Recording() || Empty()) return event.button == MouseButton::Right && event.action == MouseAction::Release;
  const GestureOutcome out = view_.Mouse(event, viewWidth, viewHeight, Playing());
  if (out.seek) play_.Seek(out.seekFrame);
  if (out.selectAll) SelectAll();
  if (out.selectionChanged) SetSelection(out.selStart, out.selEnd);
  if (out.viewMoved) MarkViewUsed();
  if (out.changed) ctx_.port->Repaint(PaintArea::Wave);
  return out.contextMenu;
}

void EditArea::OnWheel(const WheelEvent& event, int viewWidth, int) {
  if (event.steps == 0) return;
  if (Recording()) {
    view_.WheelLiveSpan(event.steps);
  } else if (!view_.Wheel(event.steps, event.x, viewWidth)) {
    return;
  }
  MarkViewUsed();
  ctx_.port->Repaint(PaintArea::Wave);
}

PointerShape EditArea::PointerAt(int, int y, int, int viewHeight) const {
  if (Recording() || Empty()) return PointerShape::Arrow;
  return view_.OnStrip(y, viewHeight) ? PointerShape::Hand : PointerShape::Arrow;
}

WaveScene EditArea::Scene(int viewWidth, int viewHeight) {
  if (Recording()) {
    if (live_ == nullptr) {
      WaveScene s;
      s.width = viewWidth;
      s.height = viewHeight;
      s.empty = false;
      s.live = true;
      return s;
    }
    const int64_t displayed = live_->Repaint(int64_t(liveRate_));
    return BuildLiveScene(*live_, displayed, liveRate_, liveChannels_, view_.LiveSpan(), viewWidth, viewHeight);
  }
  const bool hintUsed = ctx_.settings != nullptr && ctx_.settings->hintPanZoom;
  return BuildEditScene(*ctx_.doc, view_, viewWidth, viewHeight, hintUsed);
}

std::string EditArea::InfoLine() const {
  const AudioDoc& doc = *ctx_.doc;
  InfoFacts facts;
  facts.frames = doc.Frames();
  facts.playHead = view_.PlayHead();
  facts.selectionFrames = doc.SelectionEnd() > doc.SelectionStart() ? doc.SelectionEnd() - doc.SelectionStart() : 0;
  facts.format = doc.Format();
  facts.sourceBits = doc.SourceBits();
  return InfoLineText(facts);
}

}  // namespace vesk::ui
