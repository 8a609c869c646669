#include "audio/startup_backlog.h"

#include <algorithm>

namespace vesk {

namespace {
constexpr size_t kSilent = size_t(-1);
constexpr size_t kMaxHeldPackets = 512;
}  // namespace

void StartupBacklog::Begin(int64_t connectTick, uint32_t rate, size_t bytesPerFrame) {
  connectTick_ = connectTick;
  rate_ = rate;
  bytesPerFrame_ = bytesPerFrame;
  passing_ = rate == 0 || bytesPerFrame == 0;
  received_ = stale_ = dropped_ = calm_ = 0;
  held_.clear();
  bytes_.clear();
  first_ = 0;
  if (!passing_) {
    held_.reserve(kMaxHeldPackets);
    bytes_.reserve(size_t(rate) * bytesPerFrame);
  }
}

void StartupBacklog::Attached(int64_t tick) {
  if (!passing_) connectTick_ = std::max(connectTick_, tick);
}

void StartupBacklog::Take(const uint8_t* data, size_t frames, int64_t stamp, int64_t now, const Sink& sink) {
  if (frames == 0) return;
  if (passing_) {
    sink(data, frames, stamp, now);
    return;
  }
  const uint64_t index = received_;
  received_ += frames;
  // Frames the source can have captured since the stream was connected
  // (exact for any realistic start: the product stays far below 2^63).
  const int64_t elapsed = std::max<int64_t>(now - connectTick_, 0);
  const uint64_t possible = uint64_t(elapsed) * rate_ / 10'000'000;
  const bool raised = received_ > possible && received_ - possible > stale_;
  if (raised) stale_ = received_ - possible;
  // Frames that came at the pace of real time since the burst last grew; a
  // piece of one frame after a stall of the server is no sign of its end.
  calm_ = raised ? 0 : calm_ + frames;

  const size_t need = data != nullptr ? frames * bytesPerFrame_ : 0;
  if (held_.size() == kMaxHeldPackets || bytes_.size() + need > bytes_.capacity()) {
    // No room to wait any longer: what is held goes now, this packet after it.
    Release(sink);
    sink(data, frames, stamp, now);
    return;
  }
  held_.push_back(Held{data != nullptr ? bytes_.size() : kSilent, frames, index, stamp, now});
  if (data != nullptr) bytes_.insert(bytes_.end(), data, data + need);
  DropStaleFront();
  if (first_ == held_.size()) return;
  const int64_t waited = now - held_[first_].arrival;
  if (waited >= kHoldTicks || (waited >= kSettleTicks && calm_ >= uint64_t(rate_) * kSettleTicks / 10'000'000))
    Release(sink);
}

void StartupBacklog::DropStaleFront() {
  while (first_ < held_.size() && held_[first_].index + held_[first_].frames <= stale_) {
    dropped_ += held_[first_].frames;
    ++first_;
  }
  if (first_ == held_.size()) {
    held_.clear();
    bytes_.clear();
    first_ = 0;
  }
}

void StartupBacklog::Release(const Sink& sink) {
  DropStaleFront();
  passing_ = true;
  // The stale mark counts from arrival times, which a busy machine reads a
  // little late: past a stale front the start keeps a guard of 5 ms more,
  // so a sliver of the backlog never stands in front of the present.
  const uint64_t cut = stale_ > 0 ? stale_ + rate_ / 200 : 0;
  for (size_t i = first_; i < held_.size(); ++i) {
    const Held& h = held_[i];
    const size_t skip = h.index < cut ? size_t(std::min<uint64_t>(cut - h.index, h.frames)) : 0;
    dropped_ += skip;
    if (skip == h.frames) continue;
    const uint8_t* p = h.offset == kSilent ? nullptr : bytes_.data() + h.offset + skip * bytesPerFrame_;
    const int64_t stamp = h.stamp != 0 ? h.stamp + int64_t(skip) * 10'000'000 / int64_t(rate_) : 0;
    sink(p, h.frames - skip, stamp, h.arrival);
  }
  std::vector<Held>().swap(held_);
  std::vector<uint8_t>().swap(bytes_);
  first_ = 0;
}

}  // namespace vesk
