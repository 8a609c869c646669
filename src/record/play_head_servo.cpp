#include "record/play_head_servo.h"

#include <algorithm>

#include "record/pacing.h"

namespace vesk {

namespace {

constexpr int64_t kCandidateReach = 1'200'000;  // 120 ms of extrapolation
constexpr int64_t kDefaultRepaintTicks = 330'000;

int16_t ToLane(float v) { return int16_t(std::clamp(v, -1.0f, 1.0f) * 32767.0f); }

uint64_t Pack(const int16_t v[4]) {
  uint64_t packed = 0;
  for (int i = 0; i < 4; ++i) packed |= uint64_t(uint16_t(v[i])) << (16 * i);
  return packed;
}

}  // namespace

int64_t PointerCandidate(int64_t frames, int64_t anchorTime, int64_t now, int64_t rate) {
  if (anchorTime < 1 || now <= anchorTime || rate < 1) return frames;
  return frames + Frames(std::min(now - anchorTime, kCandidateReach), rate);
}

int64_t NominalStep(int64_t dt, int64_t rate) {
  if (dt < 1 || rate < 1) return 0;
  return Frames(std::min<int64_t>(dt, 5'000'000), rate);
}

int64_t ServoStep(int64_t displayed, int64_t candidate, int64_t nominal, int64_t budget) {
  if (nominal == 0) return displayed;
  const int64_t lo = nominal * 85 / 100;
  const int64_t hi = nominal * 115 / 100;
  const int64_t step = std::max<int64_t>(std::min(hi, std::max(candidate - displayed + nominal, lo)), 0);
  const int64_t next = displayed + step;
  if (next <= candidate + budget) return next;
  return std::max(candidate + budget, displayed);
}

void PlayHeadServo::StartColumn() {
  current_[0] = 32767;
  current_[1] = -32768;
  current_[2] = 32767;
  current_[3] = -32768;
  currentFrames_ = 0;
}

void PlayHeadServo::Reset() {
  if (!columns_) columns_ = std::make_unique<std::atomic<uint64_t>[]>(size_t(kColumnSlots));
  columnCount_.store(0, std::memory_order_release);
  anchorFrames_.store(0, std::memory_order_release);
  anchorTime_.store(0, std::memory_order_release);
  displayed_.store(0, std::memory_order_release);
  backCount_.store(0, std::memory_order_release);
  backMaximum_.store(0, std::memory_order_release);
  previousCandidate_ = 0;
  lastRepaint_ = 0;
  StartColumn();
}

void PlayHeadServo::Feed(const float* batch, size_t frames, int channels) {
  if (!columns_) Reset();
  const int ch = channels == 1 ? 1 : 2;
  for (size_t i = 0; i < frames; ++i) {
    const int16_t left = ToLane(batch[i * ch]);
    const int16_t right = ch == 1 ? left : ToLane(batch[i * ch + 1]);
    current_[0] = std::min(current_[0], left);
    current_[1] = std::max(current_[1], left);
    current_[2] = std::min(current_[2], right);
    current_[3] = std::max(current_[3], right);
    if (++currentFrames_ == kColumnFrames) {
      const int64_t k = columnCount_.load(std::memory_order_relaxed);
      columns_[size_t(k % kColumnSlots)].store(Pack(current_), std::memory_order_relaxed);
      columnCount_.store(k + 1, std::memory_order_release);
      StartColumn();
    }
  }
  anchorFrames_.fetch_add(int64_t(frames), std::memory_order_acq_rel);
  anchorTime_.store(clock_.Now100ns(), std::memory_order_release);
}

WaveColumn PlayHeadServo::Column(int64_t k) const {
  if (!columns_ || k < 0) return WaveColumn{0, 0, 0, 0};
  const uint64_t packed = columns_[size_t(k % kColumnSlots)].load(std::memory_order_relaxed);
  return WaveColumn{int16_t(uint16_t(packed)), int16_t(uint16_t(packed >> 16)), int16_t(uint16_t(packed >> 32)),
                    int16_t(uint16_t(packed >> 48))};
}

int64_t PlayHeadServo::Repaint(int64_t rate) {
  const int64_t now = clock_.Now100ns();
  const int64_t candidate = PointerCandidate(AnchorFrames(), AnchorTime(), now, rate);
  if (previousCandidate_ != 0 && candidate < previousCandidate_) {
    backCount_.fetch_add(1, std::memory_order_acq_rel);
    const int64_t fall = previousCandidate_ - candidate;
    int64_t seen = backMaximum_.load(std::memory_order_acquire);
    while (fall > seen && !backMaximum_.compare_exchange_weak(seen, fall, std::memory_order_acq_rel)) {
    }
  }
  previousCandidate_ = candidate;

  int64_t nominal = 0;
  if (lastRepaint_ != 0) {
    const int64_t dt = now - lastRepaint_;
    nominal = dt < 1 ? 0 : NominalStep(dt, rate);
  } else {
    nominal = NominalStep(kDefaultRepaintTicks, rate);
  }
  lastRepaint_ = now;
  const int64_t budget = MulDivTrunc(rate, kCandidateReach, kTicksPerSecond);
  const int64_t displayed = ServoStep(Displayed(), candidate, nominal, budget);
  displayed_.store(displayed, std::memory_order_release);
  return displayed;
}

}  // namespace vesk
