#pragma once
// The recording as the user sees it: the start with its preconditions, the
// output file, the RecorderThread that carries the mixed audio into the
// sink, pause and resume into the same file, the clock and size texts, the
// stop with its statistics line, the diagnosis of an empty recording and the
// loading of the result into the edit area. Messages are returned to the
// caller (the window shows them); nothing here draws.
//
// Threads: every public operation on the user-interface thread; the
// RecorderThread is internal. The capture streams, the document and the
// playback stream belong to the caller and must outlive the session.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/capture_stream.h"
#include "audio/device_catalogue.h"
#include "platform/system_info.h"
#include "record/play_head_servo.h"
#include "record/source_mixer.h"

namespace vesk {

class AudioDoc;
class AudioSink;
class PlaybackStream;

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

struct RecordingSetup {
  int source = 0;  // 0 microphone, 1 computer sound, 2 both; anything else: none
  const std::vector<DeviceEntry>* catalogue = nullptr;
  int32_t captureValue = kItemSystemDefault;  // the lists' selected values
  int32_t renderValue = kItemSystemDefault;
  DeviceChoice captureChoice;
  DeviceChoice renderChoice;
  std::filesystem::path outputDir;
  bool mp3 = false;
  uint32_t mp3Kbps = 320;
  uint32_t rate = 0;  // 0 = the device's own
  uint16_t bits = 16;
  uint16_t channels = 2;
};

// "[VESK]YYYYMMDD HH-MM-SS" + ".mp3"/".wav" in `folder`; when a recording of
// that name exists already (two starts in one second) " (2)", " (3)", … is
// added so that an earlier recording is never overwritten.
std::filesystem::path RecordingOutputPath(const std::filesystem::path& folder, const LocalTime& now, bool mp3);
// "%02d:%02d:%02d.%d" of a duration in ms.
std::string RecordingClockText(int64_t ms);

class RecordingSession {
 public:
  static constexpr int kSinkOpenWaitMs = 8000;
  static constexpr double kAutoLoadSeconds = 1800.0;

  RecordingSession(CaptureStream& microphone, CaptureStream& loopback, const TimeSource& clock = SystemTime());
  ~RecordingSession();
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  // The edit area the result is loaded into (may stay unset), the playback
  // that a start stops, and the hook that saves LastFile.
  void SetDocument(AudioDoc* doc) { doc_ = doc; }
  void SetPlayback(PlaybackStream* playback) { playback_ = playback; }
  void SetLastRecordingSaver(std::function<void(const std::filesystem::path&)> saver) { saveLast_ = std::move(saver); }
  void SetLastRecording(const std::filesystem::path& path) { lastRecording_ = path; }

  bool StartRecording(const RecordingSetup& setup, SessionNotice& notice);
  void StopRecording(SessionNotice& notice);
  void TogglePause(SessionNotice& notice);
  // The recording part of the 33 ms timer: true when it stopped the
  // recording (lost device or failed write); `notice` then holds the box.
  bool Tick(SessionNotice& notice);
  // Opens the output folder (with the last recording selected when it
  // exists); the notice gets the status.
  void OpenRecordingLocation(const std::filesystem::path& outputDir, SessionNotice& notice);

  bool IsRecording() const { return recording_; }
  bool IsPaused() const { return paused_.load(); }
  std::string ClockText() const;
  // "已写 " + the output file's size on disk.
  std::string SizeText() const;
  const std::string& InfoLine() const { return infoLine_; }
  const std::filesystem::path& OutputPath() const { return outputPath_; }
  const std::filesystem::path& LastRecording() const { return lastRecording_; }
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

  CaptureStream& microphone_;
  CaptureStream& loopback_;
  const TimeSource& clock_;
  SourceMixer mixer_;
  PlayHeadServo servo_;
  AudioDoc* doc_ = nullptr;
  PlaybackStream* playback_ = nullptr;
  std::function<void(const std::filesystem::path&)> saveLast_;

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
  std::filesystem::path lastRecording_;
  std::string lastStopLine_;
};

}  // namespace vesk
