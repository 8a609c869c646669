#pragma once
// One recording from the start button to the stop: the start's checks, the
// output file's name, the RecorderThread that carries the mixed audio into
// the sink, pause and resume into the same file, the clock and size texts,
// the stop with its statistics line and the diagnosis of an empty recording.
// Texts come back as values (a status line and maybe a message box); what
// happens with a finished file (loading it, remembering it) is the caller's.
//
// The caller resolves the device lists to endpoints before the start; the
// session only checks what it was given.
//
// Threads: every public operation on the user-interface thread; the
// RecorderThread is internal. The capture sources belong to the caller and
// must outlive the session.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/settings.h"
#include "media/audio_format.h"
#include "media/audio_sink.h"
#include "platform/system_info.h"
#include "record/capture_source.h"
#include "record/play_head_servo.h"
#include "record/source_mixer.h"
#include "record/time_source.h"

namespace vesk {

enum class NoticeBox { None, Information, Warning };

// What the window shows after an operation: a status line and optionally a
// message box.
struct SessionNotice {
  std::string status;
  NoticeBox box = NoticeBox::None;
  std::string boxTitle;
  std::string boxText;
  void Box(NoticeBox kind, std::string title, std::string text) {
    box = kind;
    boxTitle = std::move(title);
    boxText = std::move(text);
  }
};

// One list's choice as the caller resolved it.
struct RecordingEndpoint {
  bool resolved = false;       // the choice stands for an endpoint of the catalogue
  bool active = false;         // that endpoint works now
  std::string id;
  std::string name;            // for the start's log line
  std::string rememberedName;  // the choice's remembered name, for the refusal box
};

struct RecordingSetup {
  std::optional<RecordSource> source;  // nothing: no source chosen
  bool noInputChosen = false;          // the capture list stands on "无输入"
  RecordingEndpoint microphone;
  RecordingEndpoint loopback;
  std::filesystem::path outputDir;
  bool mp3 = false;
  uint32_t mp3Kbps = 320;
  uint32_t rate = 0;  // 0 = the device's own
  uint16_t bits = 16;
  uint16_t channels = 2;
};

// Makes the sink of one recording; called on the RecorderThread.
using RecordingSinkFactory = std::function<std::unique_ptr<AudioSink>(bool mp3)>;
// The WAV sink, or the MP3 sink when `mp3`.
std::unique_ptr<AudioSink> CreateRecordingSink(bool mp3);

// How a recording ended.
struct RecordingResult {
  enum class Outcome {
    None,    // nothing was recording
    Empty,   // nothing written: the file is gone, the notice explains why
    Failed,  // a write failed: the file stays, the notice holds the problem
    Saved,   // the file is complete
  };
  Outcome outcome = Outcome::None;
  std::filesystem::path path;
  AudioFormat format;
  uint64_t bytes = 0;           // PCM bytes handed to the sink
  double seconds = 0;           // their length
  uint64_t droppedFrames = 0;   // refused by full rings
  uint64_t losses = 0;          // holes in what was captured (see CaptureSource::LossCount)
  double lostSeconds = 0;       // their total length
  bool deviceLost = false;      // a lost device stopped it
  SessionNotice notice;         // status and box for Empty and Failed, the box of a forced stop
};

// "[VESK]YYYYMMDD HH-MM-SS" + ".mp3"/".wav" in `folder`; when a recording of
// that name exists already (two starts in one second) " (2)", " (3)", … is
// added so that an earlier recording is never overwritten.
std::filesystem::path RecordingOutputPath(const std::filesystem::path& folder, const LocalTime& now, bool mp3);
// "%02d:%02d:%02d.%d" of a duration in ms.
std::string RecordingClockText(int64_t ms);
// "录音中有 N 处丢失（约 X 秒）" ("" for none).
std::string LossText(uint64_t losses, double seconds);

class RecordingSession {
 public:
  static constexpr int kSinkOpenWaitMs = 8000;

  RecordingSession(CaptureSource& microphone, CaptureSource& loopback, const TimeSource& clock = SystemTime(),
                   RecordingSinkFactory sinks = CreateRecordingSink);
  ~RecordingSession();
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  // False with the reason in `notice` (status and box). On success the
  // status reads "正在录音 → " + the output path.
  bool StartRecording(const RecordingSetup& setup, SessionNotice& notice);
  void StopRecording(RecordingResult& result);
  void TogglePause(SessionNotice& notice);
  // The recording part of the 33 ms timer: true when a lost device or a
  // failed write stopped the recording; `result` then holds the stop and
  // the box to show after its status.
  bool Tick(RecordingResult& result);

  bool IsRecording() const { return recording_; }
  bool IsPaused() const { return paused_.load(); }
  bool UsesMicrophone() const { return usedMicrophone_; }
  bool UsesLoopback() const { return usedLoopback_; }
  std::string ClockText() const;
  // "已写 " + the output file's size on disk; empty when not recording.
  std::string SizeText() const;
  // The devices, rate, channels and format of the running recording.
  const std::string& InfoLine() const { return infoLine_; }
  const std::filesystem::path& OutputPath() const { return outputPath_; }
  uint64_t BytesWritten() const { return bytesWritten_.load(); }
  AudioFormat OutputFormat() const { return outputFormat_; }
  SourceMixer& Mixer() { return mixer_; }
  PlayHeadServo& PlayHead() { return servo_; }
  // The statistics line of the last stop.
  const std::string& LastStopLine() const { return lastStopLine_; }

 private:
  void RecorderThread();
  bool KeepPulling() const;
  void SignalSinkOpen(bool opened);

  CaptureSource& microphone_;
  CaptureSource& loopback_;
  const TimeSource& clock_;
  RecordingSinkFactory sinks_;
  SourceMixer mixer_;
  PlayHeadServo servo_;

  bool recording_ = false;
  std::atomic<bool> capturing_{false};
  std::atomic<bool> paused_{false};
  uint64_t startMs_ = 0;
  uint64_t pauseStartMs_ = 0;
  uint64_t pausedTotalMs_ = 0;

  std::filesystem::path outputPath_;
  AudioFormat outputFormat_;
  bool mp3_ = false;
  uint32_t mp3Kbps_ = 320;
  std::thread thread_;

  std::mutex openMutex_;
  std::condition_variable openCv_;
  bool openSignalled_ = false;
  bool sinkOpened_ = false;
  std::string sinkError_;

  std::atomic<uint64_t> bytesWritten_{0};
  std::atomic<bool> writeFailed_{false};
  std::string writeError_;  // written before writeFailed_ is set or the thread ends

  bool usedMicrophone_ = false;
  bool usedLoopback_ = false;
  bool deviceLostStop_ = false;
  std::string infoLine_;
  std::string lastStopLine_;
};

}  // namespace vesk
