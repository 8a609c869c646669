#include "record/recording_session.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <system_error>
#include <vector>

#include "core/app_log.h"
#include "media/mp3_sink.h"
#include "media/wav_sink.h"
#include "platform/shell_open.h"
#include "platform/text.h"

namespace vesk {
namespace {

constexpr size_t kBatchFrames = 8192;

const char* const kNoInputBoxText =
    "「录音设备」下拉选的是「无输入」，录不了麦克风。\r\n\r\n两个办法：\r\n· 只想录系统声音 → "
    "把「录制声音来源」改成「电脑声音」；\r\n· 想录麦克风 → 在「录音设备」下拉里选一台设备或「系统默认」。";
const char* const kUnusableBoxTail =
    "」现在用不了。\r\n\r\n可能是被拔掉了、在系统里被禁用了，或者这一类设备一台都没有。\r\n\r\n两个办法：\r\n· "
    "把设备插回来 / 在系统声音设置里启用它，程序会自动接着用它；\r\n· "
    "或者在设备下拉里改成「系统默认」，或直接点选另一台设备。";
const char* const kNoSourceBoxText =
    "当前没有可录的声音来源。\r\n\r\n在「开始录音」按钮右侧选一项：\r\n· 麦克风 —— 录人声 / 麦克风输入\r\n· "
    "电脑声音 —— 录系统正在播放的声音\r\n· 麦克风和电脑声音 —— 两路同时录，混进同一个文件";
const char* const kEmptyLoopbackText =
    "当前只选了「播放设备」。它录的是那个输出设备当下正在播放的内容 —— "
    "那个设备现在没在放东西，自然录不到。\r\n\r\n先用播放器放点声音，或者换一个正在出声的输出设备，再录一次。";
const char* const kEmptyMicrophoneText =
    "当前只选了「录音设备」，而它这几秒一个采样都没送上来。检查一下：\r\n  · 麦克风 / "
    "线路输入接头插好了没，设备上有没有开幻象电源或增益\r\n  · 系统 设置→系统→声音→输入 "
    "里，该设备的输入音量和静音状态\r\n  · 是不是选错了设备";
const char* const kEmptyBothText =
    "两路都没送来数据。如果主要靠「播放设备」，先确认那个输出设备当下在放声音；如果主要靠「录音设备」，检查麦克风 / "
    "线路输入。";

std::string PathText(const std::filesystem::path& p) { return PathToUtf8(p); }

uint64_t FileSizeOnDisk(const std::filesystem::path& p) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(p, ec);
  return ec ? 0 : uint64_t(size);
}

}  // namespace

std::filesystem::path RecordingOutputPath(const std::filesystem::path& folder, const LocalTime& t, bool mp3) {
  const std::string stem = Format("[VESK]%04u%02u%02u %02u-%02u-%02u", t.year, t.month, t.day, t.hour, t.minute,
                                  t.second);
  const char* ext = mp3 ? ".mp3" : ".wav";
  std::filesystem::path path = folder / PathFromUtf8(stem + ext);
  std::error_code ec;
  for (int n = 2; std::filesystem::exists(path, ec) && n < 1000; ++n)
    path = folder / PathFromUtf8(stem + Format(" (%d)", n) + ext);
  return path;
}

std::unique_ptr<AudioSink> CreateRecordingSink(bool mp3) {
  if (mp3) return std::make_unique<Mp3Sink>();
  return std::make_unique<WavSink>();
}

std::string LossText(uint64_t losses, double seconds) {
  if (losses == 0) return {};
  return Format("录音中有 %llu 处丢失（约 %.2f 秒）", (unsigned long long)losses, seconds);
}

std::string RecordingClockText(int64_t ms) {
  if (ms < 0) ms = 0;
  return Format("%02d:%02d:%02d.%d", int(ms / 3'600'000), int(ms / 60'000 % 60), int(ms / 1000 % 60),
                int(ms / 100 % 10));
}


RecordingSession::RecordingSession(CaptureSource& microphone, CaptureSource& loopback, const TimeSource& clock,
                                   RecordingSinkFactory sinks)
    : microphone_(microphone), loopback_(loopback), clock_(clock), sinks_(std::move(sinks)),
      mixer_(microphone, loopback, clock), servo_(clock) {
  if (!sinks_) sinks_ = CreateRecordingSink;
}

RecordingSession::~RecordingSession() {
  if (recording_) {
    RecordingResult ignored;
    StopRecording(ignored);
  }
}

bool RecordingSession::StartRecording(const RecordingSetup& setup, SessionNotice& notice) {
  notice = {};
  if (recording_) return false;

  const bool wantMic = setup.source == RecordSource::Microphone || setup.source == RecordSource::Both;
  const bool wantLoop = setup.source == RecordSource::ComputerSound || setup.source == RecordSource::Both;
  if (wantMic && setup.noInputChosen) {
    notice.status = "录音设备选了「无输入」，录不了麦克风。";
    notice.Box(NoticeBox::Information, "录音设备是「无输入」", kNoInputBoxText);
    return false;
  }
  const bool micBad = wantMic && !(setup.microphone.resolved && setup.microphone.active);
  const bool loopBad = wantLoop && !(setup.loopback.resolved && setup.loopback.active);
  if (micBad || loopBad) {
    const std::string kind = micBad ? "录音设备" : "播放设备";
    const RecordingEndpoint& e = micBad ? setup.microphone : setup.loopback;
    const std::string name = e.rememberedName.empty() ? std::string("原来那台") : e.rememberedName;
    notice.status = "要用的" + kind + "用不了，请重新选择。";
    notice.Box(NoticeBox::Warning, "设备用不了", "要用的" + kind + "「" + name + kUnusableBoxTail);
    return false;
  }
  if (!wantMic && !wantLoop) {
    notice.status = "请先选择「录制声音来源」，再点开始录音。";
    notice.Box(NoticeBox::Information, "还没选声音来源", kNoSourceBoxText);
    return false;
  }

  const uint16_t channels = setup.channels == 1 ? 1 : 2;
  const uint16_t bits = setup.mp3 ? 16 : setup.bits;
  std::string error;
  if (!mixer_.Start(wantMic ? setup.microphone.id : std::string(), false,
                    wantLoop ? setup.loopback.id : std::string(), true, channels, setup.rate, bits, error)) {
    notice.status = error;
    notice.Box(NoticeBox::Warning, "打不开声音设备", error);
    return false;
  }
  usedMicrophone_ = mixer_.MicrophoneActive();
  usedLoopback_ = mixer_.LoopbackActive();
  outputFormat_ = mixer_.Format();
  const char* sourceName = !wantLoop ? "麦克风" : (!wantMic ? "电脑声音" : "两者");
  AppLog("[rec] 开始录音：来源=%s  输入=%s  输出=%s  输出率=%u 声道=%u", sourceName,
         wantMic ? setup.microphone.name.c_str() : "(无)", wantLoop ? setup.loopback.name.c_str() : "(无)",
         unsigned(outputFormat_.sampleRate), unsigned(outputFormat_.channels));

  mp3_ = setup.mp3;
  mp3Kbps_ = setup.mp3Kbps;
  outputPath_ = RecordingOutputPath(setup.outputDir, LocalTimeNow(), setup.mp3);
  bytesWritten_.store(0);
  writeFailed_.store(false);
  writeError_.clear();
  {
    std::lock_guard<std::mutex> lock(openMutex_);
    sinkError_.clear();
    sinkOpened_ = false;
    openSignalled_ = false;
  }
  servo_.Reset();
  capturing_.store(true);
  paused_.store(false);
  thread_ = std::thread(&RecordingSession::RecorderThread, this);

  bool opened = false;
  {
    std::unique_lock<std::mutex> lock(openMutex_);
    openCv_.wait_for(lock, std::chrono::milliseconds(kSinkOpenWaitMs), [&] { return openSignalled_; });
    opened = openSignalled_ && sinkOpened_;
    error = sinkError_;
  }
  if (!opened) {
    capturing_.store(false);
    mixer_.Stop();
    if (thread_.joinable()) thread_.join();
    if (error.empty()) error = "无法创建输出文件。";
    notice.status = error;
    notice.Box(NoticeBox::Warning, "无法开始录音", error);
    return false;
  }

  recording_ = true;
  startMs_ = clock_.TickMs();
  RaiseTimerResolution();
  pauseStartMs_ = pausedTotalMs_ = 0;

  std::string devices;
  if (usedMicrophone_) devices += Format("录音设备 %u Hz", unsigned(microphone_.Rate()));
  if (usedMicrophone_ && usedLoopback_) devices += " ＋ ";
  if (usedLoopback_) devices += Format("播放设备 %u Hz", unsigned(loopback_.Rate()));
  const std::string f = setup.mp3 ? std::string("MP3")
                                  : (outputFormat_.bits == 32 ? std::string("WAV · 32bit浮点")
                                                              : Format("WAV · %u bit", unsigned(outputFormat_.bits)));
  const char* c = outputFormat_.channels == 1 ? "单声道" : "立体声";
  infoLine_ = (usedMicrophone_ && usedLoopback_)
                  ? Format("%s → 混音 %u Hz · %s · %s", devices.c_str(), unsigned(outputFormat_.sampleRate), c, f.c_str())
                  : Format("%s · %s · %s", devices.c_str(), c, f.c_str());
  notice.status = "正在录音 → " + PathText(outputPath_);
  return true;
}

void RecordingSession::SignalSinkOpen(bool opened) {
  std::lock_guard<std::mutex> lock(openMutex_);
  sinkOpened_ = opened;
  openSignalled_ = true;
  openCv_.notify_all();
}

bool RecordingSession::KeepPulling() const {
  if (capturing_.load()) return true;
  if (!mixer_.IsRunning()) return mixer_.MainPathFrames() > 0;
  return mixer_.MainPathFrames() > 0 || mixer_.SecondaryFrames() > 0;
}

void RecordingSession::RecorderThread() {
  std::unique_ptr<AudioSink> sink = sinks_(mp3_);
  std::string error;
  if (sink == nullptr || !sink->Open(outputPath_, outputFormat_, mp3Kbps_, error)) {
    {
      std::lock_guard<std::mutex> lock(openMutex_);
      sinkError_ = error.empty() ? std::string("无法创建输出文件。") : error;
    }
    sink.reset();
    SignalSinkOpen(false);
    return;
  }
  SignalSinkOpen(true);
  const int channels = outputFormat_.channels;
  std::vector<float> buffer(kBatchFrames * 2);
  const uint64_t frameBytes = uint64_t(channels) * (outputFormat_.bits / 8);
  while (KeepPulling()) {
    const size_t n = mixer_.Pull(buffer.data(), kBatchFrames);
    const size_t samples = n * size_t(channels);
    if (samples == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(8));
      continue;
    }
    if (paused_.load()) continue;
    servo_.Feed(buffer.data(), n, channels);
    mixer_.SetPointerCounters(servo_.BackCount(), servo_.BackMaximum());
    const auto t0 = std::chrono::steady_clock::now();
    error.clear();
    const bool ok = sink->Write(buffer.data(), samples, error);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (ms > 0) mixer_.RecordSinkWrite(ms);
    if (!ok) {
      writeError_ = error.empty() ? std::string("写盘失败。") : error;
      writeFailed_.store(true);
      break;
    }
    bytesWritten_.fetch_add(frameBytes * n);
  }
  error.clear();
  if (!sink->Close(error) && writeError_.empty()) writeError_ = error;
  sink.reset();
}

void RecordingSession::TogglePause(SessionNotice& notice) {
  notice = {};
  if (!recording_) return;
  const uint64_t now = clock_.TickMs();
  if (!paused_.load()) {
    paused_.store(true);
    pauseStartMs_ = now;
    notice.status = "已暂停：现在的声音不会录进去。按「继续」接着录，还是同一个文件。";
  } else {
    if (now > pauseStartMs_) pausedTotalMs_ += now - pauseStartMs_;
    pauseStartMs_ = 0;
    paused_.store(false);
    notice.status = "继续录音 → " + PathText(outputPath_);
  }
}

std::string RecordingSession::ClockText() const {
  if (!recording_) return "00:00:00.0";
  const uint64_t now = clock_.TickMs();
  int64_t elapsed = int64_t(now - startMs_) - int64_t(pausedTotalMs_);
  if (paused_.load() && now > pauseStartMs_) elapsed -= int64_t(now - pauseStartMs_);
  return RecordingClockText(elapsed);
}

std::string RecordingSession::SizeText() const {
  if (!recording_) return {};
  return "已写 " + FormatFileSize(FileSizeOnDisk(outputPath_));
}

bool RecordingSession::Tick(RecordingResult& result) {
  result = {};
  if (!recording_) return false;
  CaptureSource* lost = nullptr;
  if (usedMicrophone_ && microphone_.DeviceLost())
    lost = &microphone_;
  else if (usedLoopback_ && loopback_.DeviceLost())
    lost = &loopback_;
  if (lost != nullptr) {
    std::string message = lost->LostText();
    if (message.empty()) message = "录音设备已断开。";
    const uint64_t written = bytesWritten_.load();
    deviceLostStop_ = true;
    StopRecording(result);
    result.notice.Box(NoticeBox::Warning, "录音设备已断开",
                      message + (written > 0 ? "\r\n\r\n已经录到的部分已保存，可以继续剪辑或导出。"
                                             : "\r\n\r\n这次没有录到有效声音。"));
    return true;
  }
  if (writeFailed_.load()) {
    const std::string error = writeError_;
    StopRecording(result);
    result.notice.Box(NoticeBox::Warning, "写盘中断", error);
    return true;
  }
  return false;
}

void RecordingSession::StopRecording(RecordingResult& result) {
  result = {};
  if (!recording_) return;
  recording_ = false;
  RestoreTimerResolution();
  mixer_.Stop();
  capturing_.store(false);
  if (thread_.joinable()) thread_.join();

  std::string error;
  if (writeFailed_.load() || !writeError_.empty()) error = writeError_;
  const uint64_t now = clock_.TickMs();
  uint64_t pausedMs = pausedTotalMs_;
  if (paused_.load() && now > pauseStartMs_) pausedMs += now - pauseStartMs_;
  paused_.store(false);
  const bool lost = deviceLostStop_;
  deviceLostStop_ = false;
  uint64_t dropped = 0;
  if (usedMicrophone_) dropped += microphone_.OverflowFrames();
  if (usedLoopback_) dropped += loopback_.OverflowFrames();
  uint64_t losses = uint64_t(mixer_.LateDrops());
  int64_t lostTicks = mixer_.LateDroppedTicks();
  for (CaptureSource* source : {usedMicrophone_ ? &microphone_ : nullptr, usedLoopback_ ? &loopback_ : nullptr}) {
    if (source == nullptr) continue;
    losses += source->LossCount();
    lostTicks += source->LostTicks();
  }
  const double lostSeconds = double(lostTicks) / 1e7;
  const std::string lossText = LossText(losses, lostSeconds);
  const uint64_t bytes = bytesWritten_.load();
  lastStopLine_ = Format("[rec] 停止录音：文件=%s 已写=%" PRIu64 " 字节 丢帧=%" PRIu64 " 暂停=%lu.%03lu 秒%s%s%s",
                         PathText(outputPath_).c_str(), bytes, dropped, (unsigned long)(pausedMs / 1000),
                         (unsigned long)(pausedMs % 1000), lost ? " [设备丢失触发]" : "",
                         lossText.empty() ? "" : " ", lossText.c_str());
  AppLog("%s", lastStopLine_.c_str());
  infoLine_.clear();
  servo_.Reset();

  result.path = outputPath_;
  result.format = outputFormat_;
  result.bytes = bytes;
  result.droppedFrames = dropped;
  result.losses = losses;
  result.lostSeconds = lostSeconds;
  result.deviceLost = lost;
  const double bytesPerSecond =
      double(outputFormat_.bits / 8) * outputFormat_.channels * double(outputFormat_.sampleRate);
  result.seconds = bytesPerSecond > 0 ? double(bytes) / bytesPerSecond : 0;
  SessionNotice& notice = result.notice;

  if (bytes == 0 && error.empty()) {
    result.outcome = RecordingResult::Outcome::Empty;
    std::error_code ec;
    std::filesystem::remove(outputPath_, ec);
    const double wallMs = double(now - startMs_);
    const double activeMs = std::max(0.0, wallMs - double(pausedMs));
    if (lost) {
      notice.status = "录音设备已断开，没有录到声音。";
    } else if (pausedMs > 0 && activeMs < 300) {
      notice.Box(NoticeBox::Information, "整段都在暂停",
                 Format("这段时间里几乎全程都处于暂停状态（暂停 %.1f 秒）。\r\n\r\n暂停期间的声音是不会录进文件的，"
                        "所以没有内容可存，空文件已经删掉了。按「继续」之后再录一次就好。",
                        double(pausedMs) / 1000.0));
      notice.status = "整段都在暂停，没有录到内容，空文件已删除。";
    } else {
      const char* why = (usedLoopback_ && !usedMicrophone_)
                            ? kEmptyLoopbackText
                            : (usedMicrophone_ && !usedLoopback_ ? kEmptyMicrophoneText : kEmptyBothText);
      notice.Box(NoticeBox::Information, "没录到声音",
                 std::string("这几秒里一点声音都没采到，空的录音文件已经删掉了。\r\n\r\n") + why);
      notice.status = "没录到声音，空文件已删除。";
    }
    return;
  }
  if (!error.empty()) {
    result.outcome = RecordingResult::Outcome::Failed;
    notice.status = "录音结束，但有问题：" + error;
    return;
  }
  result.outcome = RecordingResult::Outcome::Saved;
}

}  // namespace vesk
