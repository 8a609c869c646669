#pragma once
// The live waveform and the play-head shown while recording. The written
// position moves in jumps (one batch at a time, with gaps while a quiet
// source is filled); the displayed position instead advances at wall-clock
// speed, never moves backwards and never runs more than 120 ms ahead of what
// was written.
//
// Threads: Feed on the RecorderThread, Repaint and the readers on the
// user-interface thread; Reset while the RecorderThread is not running.
// A column is stored before the column count is raised, so a reader never
// sees an incomplete column.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "record/time_source.h"

namespace vesk {

// Pure steps of the repaint.
int64_t PointerCandidate(int64_t frames, int64_t anchorTime, int64_t now, int64_t rate);
int64_t NominalStep(int64_t dt, int64_t rate);
int64_t ServoStep(int64_t displayed, int64_t candidate, int64_t nominal, int64_t budget);

struct WaveColumn {
  int16_t minLeft, maxLeft, minRight, maxRight;
};

class PlayHeadServo {
 public:
  static constexpr int64_t kColumnFrames = 512;
  static constexpr int64_t kColumnSlots = 65536;

  explicit PlayHeadServo(const TimeSource& clock = SystemTime()) : clock_(clock) {}
  PlayHeadServo(const PlayHeadServo&) = delete;
  PlayHeadServo& operator=(const PlayHeadServo&) = delete;

  // At the start and the stop of a recording.
  void Reset();
  // One written batch of interleaved frames (channels 1 or 2).
  void Feed(const float* batch, size_t frames, int channels);
  // One repaint at output rate `rate`; returns the new displayed position.
  int64_t Repaint(int64_t rate);

  int64_t ColumnCount() const { return columnCount_.load(std::memory_order_acquire); }
  // Column k (k < ColumnCount(); only the last 65,536 are kept).
  WaveColumn Column(int64_t k) const;
  int64_t AnchorFrames() const { return anchorFrames_.load(std::memory_order_acquire); }
  int64_t AnchorTime() const { return anchorTime_.load(std::memory_order_acquire); }
  int64_t Displayed() const { return displayed_.load(std::memory_order_acquire); }
  int64_t BackCount() const { return backCount_.load(std::memory_order_acquire); }
  int64_t BackMaximum() const { return backMaximum_.load(std::memory_order_acquire); }

 private:
  void StartColumn();

  const TimeSource& clock_;
  std::unique_ptr<std::atomic<uint64_t>[]> columns_;
  std::atomic<int64_t> columnCount_{0};
  // The column being filled; RecorderThread only.
  int16_t current_[4] = {32767, -32768, 32767, -32768};
  int64_t currentFrames_ = 0;
  std::atomic<int64_t> anchorFrames_{0};
  std::atomic<int64_t> anchorTime_{0};
  std::atomic<int64_t> displayed_{0};
  std::atomic<int64_t> backCount_{0};
  std::atomic<int64_t> backMaximum_{0};
  // Repaint state; user-interface thread only.
  int64_t previousCandidate_ = 0;
  int64_t lastRepaint_ = 0;
};

}  // namespace vesk
