#pragma once
// Merges the microphone and/or the loopback source onto one timeline of
// interleaved float frames that keeps wall-clock pace: a quiet source is
// filled with silence, the two sources are lined up by their latencies,
// stale secondary data is dropped and production comes in small even
// batches.
//
// Threads: Start and Stop on the user-interface thread (Start before the
// RecorderThread exists, Stop while it still pulls); Pull, the sink timing
// and pointer counters and every observer below on the RecorderThread only.
// The sources are owned by the caller and must outlive the mixer.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/audio_format.h"
#include "record/capture_source.h"
#include "record/streaming_resampler.h"
#include "record/time_source.h"

namespace vesk {

struct MixerTotals {
  int64_t steps = 0;
  int64_t hits = 0;
  int64_t framesOut = 0;
  int64_t largestBatch = 0;
};

class SourceMixer {
 public:
  // Receives each finished log line ("[mix] ..."); by default the session log.
  using LogSink = std::function<void(const char* line)>;

  SourceMixer(CaptureSource& microphone, CaptureSource& loopback, const TimeSource& clock = SystemTime(),
              LogSink log = {});
  SourceMixer(const SourceMixer&) = delete;
  SourceMixer& operator=(const SourceMixer&) = delete;

  // An empty id leaves that source out. channels 1 or 2 (anything but 1 is
  // 2); rate 0 = each device's own; bits 24 or 32, else 16. On failure the
  // error text is set and nothing keeps running.
  bool Start(const std::string& microphoneId, bool microphoneLoopback, const std::string& loopbackId,
             bool loopbackLoopback, uint16_t channels, uint32_t rate, uint16_t bits, std::string& error);
  // Clears running and stops the sources; what they already delivered is
  // drained by later Pulls.
  void Stop();
  // Writes up to min(capacityFrames, 8192) frames into out; 0 when nothing
  // is due. After Stop it returns what is left without waiting, then 0.
  size_t Pull(float* out, size_t capacityFrames);
  // The output format after a successful Start.
  AudioFormat Format() const;

  bool IsRunning() const { return running_.load(std::memory_order_acquire); }
  bool MicrophoneActive() const { return microphoneActive_; }
  bool LoopbackActive() const { return loopbackActive_; }
  // Frames waiting in the main path's ring (with one source: its ring, and
  // after Stop the silence still owed up to the stop); the RecorderThread
  // drains while this is non-zero.
  size_t MainPathFrames() const;
  // Frames waiting in the secondary ring plus those carried by the resampler.
  size_t SecondaryFrames() const;

  // Filled by the RecorderThread between Pulls for the MIX lines.
  void RecordSinkWrite(double milliseconds);
  void SetPointerCounters(int64_t backCount, int64_t backMaximum);

  // Observers (RecorderThread, tests).
  bool MainIsMicrophone() const { return main_ == &microphone_; }
  double NominalStep() const { return nominalStep_; }
  double Step() const { return resampler_.Step(); }
  bool Anchored() const { return anchored_; }
  bool Aligned() const { return aligned_; }
  int64_t Hold() const { return hold_; }
  int64_t SecondaryWait() const { return secondaryWait_; }
  int64_t Pace() const { return pace_; }
  int64_t Produced() const { return produced_; }
  int64_t StartTick() const { return start_; }
  int64_t LogInterval() const { return logInterval_; }
  MixerTotals Totals() const { return totals_; }
  // One source: late audio dropped because silence already stood in for it
  // (delivered later than the late bound), as events and ticks.
  int64_t LateDrops() const { return lateDrops_; }
  int64_t LateDroppedTicks() const { return lateDroppedTicks_; }

 private:
  int64_t TwoSourceStep(float* out, int64_t cap);
  int64_t SingleSourceStep(CaptureSource& source, float* out, int64_t cap);
  // Lines the secondary up with the main path by the capture times of their
  // next frames: a round of offsets, then a wait or a drop by their median.
  void Align(int64_t headM, int64_t avM);
  void ResampleSecondary(int64_t n, float* out);
  void AdjustDrift(bool sSil, bool waiting, int64_t avS, int64_t n);
  void UpdateStatistics(int64_t n);
  void AdvanceSinglePace(int64_t n, int64_t rate, int64_t now);
  bool LogDue() const;
  void LogMixTwo(int64_t headM, int64_t headS, int64_t avM, int64_t avS, bool sSil, bool mStall, bool mNew);
  void LogMixOne(CaptureSource& source);
  void ClosePeriod();
  void Emit(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void StopActiveSources();

  CaptureSource& microphone_;
  CaptureSource& loopback_;
  const TimeSource& clock_;
  LogSink log_;

  // Configuration.
  bool microphoneActive_ = false;
  bool loopbackActive_ = false;
  CaptureSource* main_ = nullptr;
  CaptureSource* secondary_ = nullptr;
  uint32_t rate_ = 0;
  uint16_t channels_ = 0;
  uint16_t bits_ = 16;
  std::atomic<bool> running_{false};

  // Resampler.
  double nominalStep_ = 1.0;
  StreamingResampler resampler_;
  std::vector<float> mainBuffer_;

  // Drift.
  int64_t driftInterval_ = 0;
  int64_t driftCounter_ = 0;
  int64_t driftBaseline_ = 0;
  bool driftArmed_ = false;

  // Timeline.
  int64_t pace_ = 0;
  int64_t produced_ = 0;
  int64_t start_ = 0;
  int64_t credit_ = 0;
  int64_t lastStep_ = 0;

  // Anchoring.
  bool anchored_ = false;
  bool aligned_ = false;
  int64_t hold_ = 0;
  static constexpr int kOffsetSamples = 16;
  int64_t offsets_[kOffsetSamples] = {};
  int offsetCount_ = 0;
  int64_t secondaryWait_ = 0;  // main frames still to go out before the secondary joins

  // One source: capture time the timeline has reached, idle silence written
  // since the last frames read, and when Stop was called.
  int64_t captureEnd_ = 0;
  int64_t idleFilled_ = 0;
  // Two sources: the same for the main path.
  int64_t mainEnd_ = 0;
  int64_t mainIdle_ = 0;
  int64_t lateDrops_ = 0;
  int64_t lateDroppedTicks_ = 0;
  std::atomic<int64_t> stopTick_{0};

  // Watchdogs.
  int64_t mainChangeMs_ = 0;
  uint64_t lastMainCount_ = 0;
  int64_t secondaryChangeMs_ = 0;
  uint64_t lastSecondaryCount_ = 0;
  int64_t mainGapMs_ = 0;  // longest pause between deliveries so far
  int64_t secondaryGapMs_ = 0;
  uint64_t lastOverflowCount_ = 0;
  bool leadOverReported_ = false;

  // Statistics.
  MixerTotals totals_;
  MixerTotals atLastLog_;
  int64_t largestGap_ = 0;
  int64_t lastProductionTick_ = 0;
  double sinkMaximum_ = 0;
  double sinkSum_ = 0;
  int64_t sinkCount_ = 0;
  int64_t pointerBackCount_ = 0;
  int64_t pointerBackMaximum_ = 0;
  int64_t logInterval_ = 50;

  char line_[1024] = {};
};

}  // namespace vesk
