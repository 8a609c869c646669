#include <algorithm>

#include "audio/device_catalogue.h"
#include "audio/playback_stream.h"
#include "doc/audio_doc.h"
#include "ui/control_ids.h"
#include "ui/playback_control.h"

namespace vesk::ui {

namespace {

constexpr const char* kLoopText =
    "循环播放选区中 —— 按「■ 停止 (Space)」或空格键结束；点选区内跳位置，点选区外吸附回循环。";

}  // namespace

PlaybackControl::PlaybackControl(const EditContext& context, WaveViewModel& view, const OpenedMedia& opened)
    : ctx_(context), view_(view), opened_(opened) {}

bool PlaybackControl::Empty() const { return ctx_.doc->Frames() == 0; }
bool PlaybackControl::Recording() const { return ctx_.app->Recording(); }

bool PlaybackControl::Playing() const { return ctx_.playback != nullptr && ctx_.playback->Running(); }

bool PlaybackControl::Tick() {
  ReleaseSwapped();
  if (!play_.active) return false;
  const uint64_t frame = DocumentFrame();
  // Played out by itself: release the device thread.
  if (!Playing()) {
    ctx_.playback->Stop();
    play_.active = false;
  }
  if (frame == view_.PlayHead()) return false;
  view_.SetPlayHead(frame);
  return true;
}

double PlaybackControl::FullLengthSeconds() const {
  const uint32_t rate = ctx_.doc->Format().sampleRate;
  return rate == 0 ? 0 : double(std::min(ctx_.playback->Position(), ctx_.doc->SourceFrames())) / rate;
}

uint64_t PlaybackControl::DocumentFrame() const {
  const uint64_t pos = ctx_.playback->Position();
  const uint64_t frame = play_.fullLength ? play_.timeline.ToDocument(pos) : pos;
  return std::min(frame, ctx_.doc->Frames());
}

std::string PlaybackControl::Endpoint() const {
  if (ctx_.devices == nullptr) return {};
  const DeviceEntry* entry = ResolveSelection(ctx_.devices->Entries(), DeviceFlow::Render,
                                              ctx_.devices->List(DeviceFlow::Render).SelectedValue());
  return entry ? entry->id : std::string();
}

void PlaybackControl::Stop() {
  if (ctx_.playback == nullptr || (!play_.active && !Playing())) return;
  // Where it was becomes the play head.
  if (play_.active) view_.SetPlayHead(DocumentFrame());
  ctx_.playback->Stop();
  play_.active = false;
  play_.keep.reset();
  play_.retired.clear();
  ctx_.port->Repaint(PaintArea::Wave);
}

void PlaybackControl::Command() {
  if (ctx_.playback == nullptr) return;
  if (Empty()) {
    ctx_.port->Status("剪辑区里还没有内容。");
    return;
  }
  if (Playing()) {
    Stop();
    return;
  }
  if (Recording()) {
    ctx_.port->Status("录音时不能播放（会串音）。");
    return;
  }
  Stop();  // a playback that ended by itself leaves its play head
  const AudioDoc& doc = *ctx_.doc;
  const uint64_t a = doc.SelectionStart(), b = doc.SelectionEnd(), head = view_.PlayHead();
  const bool selection = b > a;
  const uint64_t start = selection ? (head >= a && head < b ? head : a) : (head < doc.Frames() ? head : 0);
  std::string status, error;
  if (!Start(start, status, error)) {
    ctx_.port->ShowBox(BoxKind::Warning, "播放失败", error);
    return;
  }
  view_.SetPlayHead(start);
  if (selection) status = status.empty() ? std::string(kLoopText) : std::string(kLoopText) + " " + status;
  ctx_.port->Status(status);
  ctx_.port->Repaint(PaintArea::Wave);
}

std::shared_ptr<const SampleSequence> PlaybackControl::Choose(PlaybackBuffer& choice) const {
  const AudioDoc& doc = *ctx_.doc;
  const size_t channels = std::max<size_t>(doc.Format().channels, 1);
  // The seam where a denoised copy takes over. A copy of another length is
  // stale (the document changed under it) and is never played.
  if (choice.samples != nullptr && choice.samples->Frames() == doc.Frames() && choice.samples->Channels() == channels)
    return choice.samples;
  if (choice.samples != nullptr)
    choice = PlaybackBuffer{};
  else
    choice.processed = false;  // the original, with the denoise code's word on why
  return doc.Snapshot();
}

bool PlaybackControl::Start(uint64_t startFrame, std::string& status, std::string& error) {
  const AudioDoc& doc = *ctx_.doc;
  PlaybackBuffer choice = ctx_.app->PlaybackSource();
  const std::shared_ptr<const SampleSequence> chosen = Choose(choice);
  std::shared_ptr<const SampleSource> source = chosen;
  status = choice.status;

  uint64_t frames = doc.Frames();
  uint64_t start = startFrame;
  uint64_t loopStart = 0, loopEnd = 0;
  if (doc.SelectionEnd() > doc.SelectionStart()) {
    loopStart = doc.SelectionStart();
    loopEnd = doc.SelectionEnd();
  }
  play_.fullLength = false;
  if (opened_.hasPicture && doc.HasCuts() && frames > 0) {
    // A cut video plays on its own timeline: the kept pieces at their source
    // positions, silence where the cuts were (no copy of the samples).
    play_.fullLength = true;
    play_.timeline = SourceTimeline(doc.Segments());
    source = std::make_shared<const SampleSequence>(OnSourceTimeline(*chosen, doc.Segments(), doc.SourceFrames()));
    frames = doc.SourceFrames();
    start = play_.timeline.ToSource(start);
    if (loopEnd > loopStart) {
      loopStart = play_.timeline.ToSource(loopStart);
      loopEnd = play_.timeline.ToSource(loopEnd - 1) + 1;
    }
  }
  if (!ctx_.playback->Start(source.get(), doc.Format(), start, Endpoint(), error, loopStart, loopEnd)) {
    play_.active = false;
    return false;
  }
  play_.active = true;
  play_.frames = frames;
  play_.keep = std::move(source);
  return true;
}

void PlaybackControl::Seek(uint64_t documentFrame) {
  ctx_.playback->Seek(play_.fullLength ? play_.timeline.ToSource(documentFrame) : documentFrame);
  view_.SetPlayHead(DocumentFrame());
}

void PlaybackControl::UpdateLoop() {
  if (!Playing()) return;
  const AudioDoc& doc = *ctx_.doc;
  uint64_t a = doc.SelectionStart(), b = doc.SelectionEnd();
  if (b <= a) {
    ctx_.playback->SetLoop(0, 0);
    return;
  }
  if (play_.fullLength) {
    b = play_.timeline.ToSource(b - 1) + 1;
    a = play_.timeline.ToSource(a);
  }
  ctx_.playback->SetLoop(a, b);
}

bool PlaybackControl::Restart(std::string& error) {
  const uint64_t at = DocumentFrame();
  ctx_.playback->Stop();
  play_.active = false;
  view_.SetPlayHead(at);
  std::string status;
  if (Start(at < ctx_.doc->Frames() ? at : 0, status, error)) return true;
  ctx_.port->ShowBox(BoxKind::Warning, "播放失败", error);
  return false;
}

void PlaybackControl::RestartOnNewDevice() {
  if (!Playing()) return;
  std::string error;
  if (Restart(error)) ctx_.port->Status("已切换播放设备，从刚才的位置接着播。");
}

void PlaybackControl::BufferChanged() {
  if (!Playing()) return;
  // The compact buffer swaps inside the running stream, so the switch is
  // heard at once; the source timeline of a cut video is laid again for the
  // new choice with a restart.
  const AudioDoc& doc = *ctx_.doc;
  if (!play_.fullLength && play_.frames == doc.Frames()) {
    PlaybackBuffer choice = ctx_.app->PlaybackSource();
    std::shared_ptr<const SampleSource> next = Choose(choice);
    play_.retired.push_back(std::move(play_.keep));
    play_.keep = next;
    ctx_.playback->SwapBuffer(next.get());
    if (!choice.status.empty()) ctx_.port->Status(choice.status);
    return;
  }
  std::string error;
  Restart(error);
}

void PlaybackControl::ReleaseSwapped() {
  if (!play_.retired.empty() && (!Playing() || ctx_.playback->BufferSwapped())) play_.retired.clear();
}

}  // namespace vesk::ui
