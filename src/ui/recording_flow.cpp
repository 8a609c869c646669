#include "ui/recording_flow.h"

#include <algorithm>
#include <system_error>

#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "doc/audio_doc.h"
#include "platform/text.h"

namespace vesk::ui {
namespace {

namespace fs = std::filesystem;

constexpr const char* kClockZero = "00:00:00.0";
// A finished recording up to this long is loaded into the edit area.
constexpr double kAutoLoadSeconds = 1800.0;

std::string Utf8(const fs::path& p) { return PathToUtf8(p); }

uint64_t SizeOnDisk(const fs::path& p) {
  std::error_code ec;
  const auto size = fs::file_size(p, ec);
  return ec ? 0 : uint64_t(size);
}

BoxKind KindOf(NoticeBox box) { return box == NoticeBox::Warning ? BoxKind::Warning : BoxKind::Information; }

std::string WithTrailingSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += char(fs::path::preferred_separator);
  return dir;
}

}  // namespace

RecordingFlow::RecordingFlow(RecordingParts parts, DeviceCatalogue& catalogue, SettingsState& settings, AudioDoc& doc,
                             WindowPort& port, RecordingHost& host, const TimeSource& clock)
    : parts_(parts), catalogue_(catalogue), settings_(settings), doc_(doc), port_(port), host_(host),
      session_(*parts.microphone, *parts.loopback, clock), clock_(kClockZero) {}

RecordingFlow::~RecordingFlow() {
  if (session_.IsRecording()) {
    RecordingResult ignored;
    session_.StopRecording(ignored);
  }
}

bool RecordingFlow::WantsMicrophone() const {
  return settings_.recSource == RecordSource::Microphone || settings_.recSource == RecordSource::Both;
}
bool RecordingFlow::WantsLoopback() const {
  return settings_.recSource == RecordSource::ComputerSound || settings_.recSource == RecordSource::Both;
}

int RecordingFlow::ShownRate() const {
  int rate = settings_.sampleRatePinned ? settings_.sampleRate : 0;
  if (rate == 0) {
    const bool loopback = !WantsMicrophone();
    const DeviceFlow flow = loopback ? DeviceFlow::Render : DeviceFlow::Capture;
    const DeviceEntry* e = ResolveSelection(catalogue_.Entries(), flow, catalogue_.List(flow).SelectedValue());
    rate = int(parts_.devices->GetMixRate(e != nullptr ? e->id : std::string(), loopback));
  }
  return rate;
}

bool RecordingFlow::Startable() const {
  const auto& entries = catalogue_.Entries();
  bool ok = true;
  if (WantsMicrophone())
    ok = ok && (FlowHasActiveEntry(entries, DeviceFlow::Capture) ||
                catalogue_.Choice(DeviceFlow::Capture).pinnedId == kNoInputDevice);
  if (WantsLoopback()) ok = ok && FlowHasActiveEntry(entries, DeviceFlow::Render);
  return ok;
}

void RecordingFlow::Describe(WindowFacts& f) const {
  f.recording = session_.IsRecording();
  f.paused = f.recording && session_.IsPaused();
  f.recordStartable = Startable();
  f.shownRate = ShownRate();
  f.clock = clock_;
  f.size = size_;
  f.meterInfo = f.recording ? session_.InfoLine() : std::string();
}

RecordingEndpoint RecordingFlow::Resolve(DeviceFlow flow) const {
  RecordingEndpoint r;
  const DeviceEntry* e = ResolveSelection(catalogue_.Entries(), flow, catalogue_.List(flow).SelectedValue());
  r.rememberedName = catalogue_.Choice(flow).rememberedName;
  if (e == nullptr) return r;
  r.resolved = true;
  r.active = e->state == kDeviceActive;
  r.id = e->id;
  r.name = e->name;
  return r;
}

void RecordingFlow::ShowNotice(const SessionNotice& n) {
  if (!n.status.empty()) port_.Status(n.status);
  if (n.box != NoticeBox::None) port_.ShowBox(KindOf(n.box), n.boxTitle, n.boxText);
}

void RecordingFlow::Toggle() {
  if (session_.IsRecording())
    Stop();
  else
    Start();
}

void RecordingFlow::Start() {
  host_.StopPlayback();
  const SettingsState& s = settings_;
  RecordingSetup setup;
  setup.source = s.recSource;
  setup.noInputChosen = catalogue_.List(DeviceFlow::Capture).SelectedValue() == kItemNoInput ||
                        catalogue_.Choice(DeviceFlow::Capture).pinnedId == kNoInputDevice;
  setup.microphone = Resolve(DeviceFlow::Capture);
  setup.loopback = Resolve(DeviceFlow::Render);
  setup.outputDir = s.outputDir;
  setup.mp3 = !s.formatWav;
  setup.mp3Kbps = uint32_t(s.bitrateKbps);
  setup.rate = s.sampleRatePinned ? uint32_t(s.sampleRate) : 0;
  setup.bits = uint16_t(s.bitDepth);
  setup.channels = uint16_t(s.channels);
  std::error_code ec;
  fs::create_directories(s.outputDir, ec);  // the user may have removed it since the start

  SessionNotice notice;
  if (!session_.StartRecording(setup, notice)) {
    ShowNotice(notice);
    return;
  }
  // Only a recording that really runs replaces the edit area's content.
  doc_.Clear();
  host_.RecordingStarted(session_.PlayHead(), session_.OutputFormat().sampleRate, session_.OutputFormat().channels);
  parts_.microphone->ClearClipsAndPeaks();
  parts_.loopback->ClearClipsAndPeaks();
  clock_ = kClockZero;
  size_.clear();
  port_.Status(notice.status);
}

void RecordingFlow::Stop(bool load) {
  RecordingResult result;
  session_.StopRecording(result);
  Finish(result, load);
}

// Idle controls, then what the result says (the file loaded and remembered,
// or the diagnosis), then the box of a forced stop.
void RecordingFlow::Finish(RecordingResult& r, bool load) {
  if (r.outcome == RecordingResult::Outcome::None) return;
  clock_ = kClockZero;
  size_.clear();
  std::string status = r.notice.status;
  bool loaded = false;
  if (r.outcome == RecordingResult::Outcome::Saved) {
    lastRecording_ = r.path;
    settings_.lastFile = Utf8(r.path);
    const std::string path = Utf8(r.path);
    const std::string size = FormatFileSize(SizeOnDisk(r.path));
    if (r.seconds > kAutoLoadSeconds) {
      status = "已保存：" + path + "（" + size + "）。录音较长，未自动载入剪辑区，需要时请手动打开。";
    } else if (!load) {
      status = "已保存：" + path + "（" + size + "）";
    } else {
      std::string error;
      if (doc_.Load(r.path, error)) {
        status = "已保存并载入剪辑区：" + path + "（" + size + "）";
        loaded = true;
      } else {
        status = "已保存：" + path + "（" + size + "）。载入剪辑区失败：" + error;
      }
    }
    if (r.losses > 0) status += "　注意：" + LossText(r.losses, r.lostSeconds) + "。";
  }
  host_.SaveSettings();
  port_.Repaint(PaintArea::Meter);
  port_.Repaint(PaintArea::Wave);
  port_.Status(status);
  // After the status: the edit area's undo-budget warning replaces it.
  host_.RecordingEnded(loaded);
  if (r.notice.box != NoticeBox::None) port_.ShowBox(KindOf(r.notice.box), r.notice.boxTitle, r.notice.boxText);
}

void RecordingFlow::TogglePause() {
  SessionNotice notice;
  session_.TogglePause(notice);
  if (!notice.status.empty()) port_.Status(notice.status);
}

void RecordingFlow::OpenLocation() {
  std::string folder = Utf8(settings_.outputDir);
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  std::error_code ec;
  fs::create_directories(PathFromUtf8(folder), ec);
  if (!lastRecording_.empty() && SizeOnDisk(lastRecording_) > 0) {
    port_.Shell().RevealFile(lastRecording_);
    port_.Status("已在资源管理器中定位到最近一次录音：" + Utf8(lastRecording_));
    return;
  }
  port_.Shell().OpenFolder(PathFromUtf8(folder));
  port_.Status("打开保存位置：" + folder + (lastRecording_.empty() ? "（还没有录音文件）" : ""));
}

void RecordingFlow::ChangeFolder() {
  if (session_.IsRecording()) return;
  fs::path chosen;
  if (!port_.PickFolder("选择录音保存目录", settings_.outputDir, chosen) || chosen.empty()) return;
  settings_.outputDir = PathFromUtf8(WithTrailingSeparator(Utf8(chosen)));
  host_.SaveSettings();
}

void RecordingFlow::Tick() {
  if (!session_.IsRecording()) return;
  RecordingResult result;
  if (session_.Tick(result)) {
    Finish(result, true);
    return;
  }
  clock_ = session_.ClockText();
  size_ = session_.SizeText();
  // The edit area repaints the live waveform itself.
  if (!session_.IsPaused()) port_.Repaint(PaintArea::Meter);
}

MeterReading RecordingFlow::Meter() const {
  MeterReading m;
  if (!session_.IsRecording()) return m;
  m.channels = session_.OutputFormat().channels;
  for (const CaptureStream* stream : {parts_.microphone, parts_.loopback}) {
    const bool used = stream == parts_.microphone ? session_.UsesMicrophone() : session_.UsesLoopback();
    if (!used) continue;
    for (int c = 0; c < 2; ++c) {
      m.peak[c] = std::max(m.peak[c], stream->Peak(c));
      m.peakHold[c] = std::max(m.peakHold[c], stream->PeakHold(c));
      m.rms[c] = std::max(m.rms[c], stream->Rms(c));
      m.clip[c] = m.clip[c] || stream->Clipped(c);
    }
  }
  return m;
}

}  // namespace vesk::ui
