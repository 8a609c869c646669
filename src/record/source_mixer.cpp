#include "record/source_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/app_log.h"
#include "record/mixer_switches.h"
#include "record/pacing.h"

namespace vesk {

namespace {

constexpr int64_t kAlignTolerance = 10'000;       // 1 ms between the paths' capture times
constexpr int64_t kTargetLead = 2'000'000;        // 200 ms while the main path delivers
constexpr int64_t kStalledTargetLead = 250'000;   // 25 ms while it is quiet
constexpr int64_t kClampThreshold = 200'000;      // 20 ms
constexpr int64_t kBatchDuration = 400'000;       // 40 ms
// One source: a jump in capture times shorter than this is timestamp jitter
// (a busy machine's late delivery moves PulseAudio's stamps by tens of ms);
// an empty ring or the stop is compared with the clock, which is steadier.
constexpr int64_t kGapTolerance = 2'000'000;      // 200 ms
constexpr int64_t kClockTolerance = 300'000;      // 30 ms
// One source: how late a capture thread may deliver (held by a busy machine)
// before its missing stretch is filled with silence.
constexpr int64_t kLateBound = 6'000'000;         // 600 ms
constexpr double kDriftLimit = 0.0001;
constexpr int64_t kDriftSwing = 300'000;          // 30 ms of secondary frames

// A path is quiet (missing, not late) once it has delivered nothing for 80 ms
// and half as long again as the longest pause between its packets so far, so a
// source that delivers in 100 ms pieces is not taken for a stopped one.
bool Quiet(bool fresh, int64_t nowMs, int64_t lastMs, int64_t longestGapMs) {
  return StallDetected(fresh, nowMs - std::max<int64_t>(longestGapMs * 3 / 2 - 80, 0), lastMs);
}

// Notes a delivery: the pause before it (at most 600 ms counts) and its time.
void NoteDelivery(int64_t nowMs, int64_t& lastMs, int64_t& longestGapMs) {
  if (lastMs != 0) longestGapMs = std::min<int64_t>(std::max(longestGapMs, nowMs - lastMs), 600);
  lastMs = nowMs;
}

int64_t FramesIn(const SampleRing& ring, int64_t channels) { return int64_t(ring.Available()) / channels; }

}  // namespace

SourceMixer::SourceMixer(CaptureSource& microphone, CaptureSource& loopback, const TimeSource& clock, LogSink log)
    : microphone_(microphone), loopback_(loopback), clock_(clock), log_(std::move(log)) {}

bool SourceMixer::Start(const std::string& microphoneId, bool microphoneLoopback, const std::string& loopbackId,
                        bool loopbackLoopback, uint16_t channels, uint32_t rate, uint16_t bits, std::string& error) {
  if (running_.load(std::memory_order_acquire)) {
    // A second recording on a running mixer would steal the first one's sources.
    error = "录音已在进行中，请先停止。";
    return false;
  }
  channels_ = channels == 1 ? 1 : 2;
  microphoneActive_ = !microphoneId.empty();
  loopbackActive_ = !loopbackId.empty();
  main_ = nullptr;
  secondary_ = nullptr;
  if (microphoneActive_) {
    std::string streamError;
    if (!microphone_.Start(microphoneId, microphoneLoopback, channels_, rate, streamError)) {
      error = streamError.empty() ? "打不开录音设备。" : streamError;
      microphoneActive_ = loopbackActive_ = false;
      return false;
    }
  }
  if (!microphoneActive_ && !loopbackActive_) {
    error = "没有选择任何声音来源。";
    return false;
  }
  if (loopbackActive_) {
    std::string streamError;
    if (!loopback_.Start(loopbackId, loopbackLoopback, channels_, rate, streamError)) {
      if (microphoneActive_) microphone_.Stop();
      microphoneActive_ = loopbackActive_ = false;
      error = streamError.empty() ? "打不开播放设备。" : streamError;
      return false;
    }
  }

  CaptureSource* single = nullptr;
  if (microphoneActive_ && loopbackActive_) {
    const bool loopbackLeads = loopback_.Rate() > microphone_.Rate();
    main_ = loopbackLeads ? &loopback_ : &microphone_;
    secondary_ = loopbackLeads ? &microphone_ : &loopback_;
    nominalStep_ = main_->Rate() == 0 ? 1.0 : double(secondary_->Rate()) / double(main_->Rate());
    rate_ = main_->Rate();
  } else {
    single = microphoneActive_ ? &microphone_ : &loopback_;
    nominalStep_ = 1.0;
    rate_ = single->Rate();
  }
  // Any used source without a rate would stall or divide by zero later, not
  // only the main path.
  const bool rateMissing = rate_ == 0 || (secondary_ != nullptr && secondary_->Rate() == 0);
  if (rateMissing) {
    running_.store(false, std::memory_order_release);
    StopActiveSources();
    microphoneActive_ = loopbackActive_ = false;
    main_ = secondary_ = nullptr;
    error = "设备没有报告有效的采样率。";
    return false;
  }
  bits_ = (bits == 24 || bits == 32) ? bits : 16;

  resampler_.Reset(nominalStep_, channels_, kMaxBatchFrames);
  driftInterval_ = 2 * int64_t(rate_);
  driftCounter_ = 0;
  driftBaseline_ = 0;
  driftArmed_ = false;
  mainBuffer_.assign(size_t(kMaxBatchFrames) * channels_, 0.0f);
  const int64_t nowMs = int64_t(clock_.TickMs());
  mainChangeMs_ = nowMs;
  lastMainCount_ = 0;
  secondaryChangeMs_ = nowMs;
  lastSecondaryCount_ = 0;
  mainGapMs_ = 0;
  secondaryGapMs_ = 0;
  lastOverflowCount_ = 0;
  anchored_ = false;
  aligned_ = false;
  hold_ = 0;
  secondaryWait_ = 0;
  offsetCount_ = 0;
  pace_ = 0;
  produced_ = 0;
  start_ = clock_.Now100ns();
  captureEnd_ = start_;
  idleFilled_ = 0;
  lateDrops_ = 0;
  lateDroppedTicks_ = 0;
  stopTick_.store(0);
  credit_ = 0;
  lastStep_ = start_;
  largestGap_ = 0;
  lastProductionTick_ = 0;
  sinkMaximum_ = 0;
  sinkSum_ = 0;
  sinkCount_ = 0;
  logInterval_ = LogIntervalSwitch();
  running_.store(true, std::memory_order_release);
  return true;
}

void SourceMixer::StopActiveSources() {
  if (loopbackActive_) loopback_.Stop();
  if (microphoneActive_) microphone_.Stop();
}

void SourceMixer::Stop() {
  stopTick_.store(clock_.Now100ns());
  running_.store(false, std::memory_order_release);
  StopActiveSources();
}

AudioFormat SourceMixer::Format() const { return AudioFormat{rate_, channels_, bits_}; }

size_t SourceMixer::MainPathFrames() const {
  if (channels_ == 0) return 0;
  if (main_ != nullptr) return main_->Ring().Available() / channels_;
  if (!microphoneActive_ && !loopbackActive_) return 0;
  CaptureSource& source = microphoneActive_ ? microphone_ : loopback_;
  const size_t waiting = source.Ring().Available() / channels_;
  if (waiting > 0 || IsRunning() || source.Rate() == 0) return waiting;
  // After Stop the timeline still runs to the stop: what the device did not
  // capture before it is owed as silence.
  return size_t(Frames(SingleSilenceTicks(false, 0, captureEnd_, stopTick_.load(), kClockTolerance, 0), source.Rate()));
}

size_t SourceMixer::SecondaryFrames() const {
  if (secondary_ == nullptr || channels_ == 0) return 0;
  return secondary_->Ring().Available() / channels_ + size_t(resampler_.Pending());
}

void SourceMixer::RecordSinkWrite(double milliseconds) {
  sinkMaximum_ = std::max(sinkMaximum_, milliseconds);
  sinkSum_ += milliseconds;
  sinkCount_ += 1;
}

void SourceMixer::SetPointerCounters(int64_t backCount, int64_t backMaximum) {
  pointerBackCount_ = backCount;
  pointerBackMaximum_ = backMaximum;
}

size_t SourceMixer::Pull(float* out, size_t capacityFrames) {
  const int64_t cap = int64_t(std::min<size_t>(capacityFrames, size_t(kMaxBatchFrames)));
  if (out == nullptr || cap == 0) return 0;
  int64_t n = 0;
  if (microphoneActive_ && loopbackActive_) {
    n = TwoSourceStep(out, cap);
    UpdateStatistics(n);
  } else if (microphoneActive_ || loopbackActive_) {
    CaptureSource& source = microphoneActive_ ? microphone_ : loopback_;
    n = SingleSourceStep(source, out, cap);
    UpdateStatistics(n);
    if (LogDue()) {
      LogMixOne(source);
      ClosePeriod();
    }
  }
  return size_t(n);
}

void SourceMixer::UpdateStatistics(int64_t n) {
  totals_.steps += 1;
  if (n <= 0) return;
  totals_.hits += 1;
  totals_.framesOut += n;
  totals_.largestBatch = std::max(totals_.largestBatch, n);
  const int64_t t = clock_.Now100ns();
  if (lastProductionTick_ != 0 && t > lastProductionTick_) largestGap_ = std::max(largestGap_, t - lastProductionTick_);
  lastProductionTick_ = t;
}

int64_t SourceMixer::SingleSourceStep(CaptureSource& source, float* out, int64_t cap) {
  const int64_t ch = channels_;
  const int64_t r = source.Rate() != 0 ? source.Rate() : 48000;
  const bool running = running_.load(std::memory_order_acquire);
  const int64_t now = clock_.Now100ns();
  const int64_t elapsed = start_ != 0 ? now - start_ : 0;
  const int64_t real = Frames(elapsed, r);

  int64_t readCap = cap;
  if (running) {
    readCap = std::min(cap, SingleRoomFrames(FramesToTicks(produced_, r), elapsed, r));
    if (readCap == 0) return 0;
  }
  const int64_t leadBudget = MulDivTrunc(r, 1'000'000, kTicksPerSecond);
  if (running && !leadOverReported_ && produced_ - real > leadBudget + kMaxBatchFrames) {
    leadOverReported_ = true;
    Emit("[mix] LEAD-OVER lead=%lld 帧 > 上限%lld+单批8192 —— 产出位置上限没卡住，查 SingleRoomFrames 调用点口径（v0.9.115 教训）",
         (long long)(produced_ - real), (long long)leadBudget);
  }

  int64_t a = FramesIn(source.Ring(), ch);
  int64_t head = source.HeadTimestamp();
  if (a > 0 && head != 0 && idleFilled_ > 0 && head < captureEnd_ - kGapTolerance) {
    // Later than the late bound: the part the idle silence already covers is
    // dropped, so the timeline stays on the wall clock.
    const int64_t dropF = std::min(Frames(std::min(captureEnd_ - head, idleFilled_), r), a);
    source.Ring().Read(nullptr, size_t(dropF * ch));
    lateDrops_ += 1;
    lateDroppedTicks_ += FramesToTicks(dropF, r);
    Emit("[mix] LATE 迟到的采集数据与已补的静音重叠，丢弃 %lld 帧 (%lld ms)", (long long)dropF,
         (long long)(FramesToTicks(dropF, r) / 10'000));
    idleFilled_ = 0;
    a = FramesIn(source.Ring(), ch);
    head = source.HeadTimestamp();
  }

  const int64_t silence = SingleSilenceTicks(a > 0, head, captureEnd_, running ? now : stopTick_.load(),
                                             a > 0 ? kGapTolerance : kClockTolerance, running ? kLateBound : 0);
  const int64_t fill = std::min(Frames(silence, r), readCap);
  if (fill > 0) {
    std::fill(out, out + fill * ch, 0.0f);
    captureEnd_ += FramesToTicks(fill, r);
    if (a == 0) idleFilled_ += FramesToTicks(fill, r);
    produced_ += fill;
    AdvanceSinglePace(fill, r, now);
    return fill;
  }

  const int64_t got = int64_t(source.Ring().Read(out, size_t(readCap * ch))) / ch;
  if (got <= 0) return 0;
  captureEnd_ = (head != 0 ? head : captureEnd_) + FramesToTicks(got, r);
  idleFilled_ = 0;
  produced_ += got;
  AdvanceSinglePace(got, r, now);
  return got;
}

void SourceMixer::AdvanceSinglePace(int64_t n, int64_t rate, int64_t now) {
  if (n <= 0) return;
  const int64_t base = pace_ != 0 ? pace_ : (start_ != 0 ? start_ : now);
  pace_ = base + FramesToTicks(n, rate);
}

int64_t SourceMixer::TwoSourceStep(float* out, int64_t cap) {
  if (channels_ == 0 || main_ == nullptr || secondary_ == nullptr) return 0;
  const bool bypass = PacingBypassSwitch();
  const bool running = running_.load(std::memory_order_acquire);
  const int64_t ch = channels_;
  const int64_t r = rate_;

  const int64_t ms = int64_t(clock_.TickMs());
  const int64_t now = clock_.Now100ns();
  const int64_t avM = FramesIn(main_->Ring(), ch);
  const int64_t avS = FramesIn(secondary_->Ring(), ch) + resampler_.Pending();
  const int64_t headM = main_->HeadTimestamp();
  int64_t headS = secondary_->HeadTimestamp();
  const uint64_t cM = main_->CapturedFrames();
  const bool mNew = cM != lastMainCount_;
  if (mNew) {
    lastMainCount_ = cM;
    NoteDelivery(ms, mainChangeMs_, mainGapMs_);
  }
  const uint64_t cS = secondary_->CapturedFrames();
  const bool sNew = cS != lastSecondaryCount_;
  if (sNew) {
    lastSecondaryCount_ = cS;
    NoteDelivery(ms, secondaryChangeMs_, secondaryGapMs_);
  }

  // A source that has sent nothing is never waited for.
  if (pace_ == 0) {
    if (headM != 0 || headS != 0 || avM != 0) {
      pace_ = TimelineOrigin(headM, headS, now);
    } else if (avS == 0) {
      return 0;
    } else {
      pace_ = now;
    }
    mainEnd_ = headM != 0 ? headM : pace_;
    mainIdle_ = 0;
  }

  if (!anchored_) {
    const int64_t latM = main_->LatencyCount() >= CaptureBuffer::kLatencyMeasurements ? main_->Latency() : 0;
    const int64_t latS =
        secondary_->LatencyCount() >= CaptureBuffer::kLatencyMeasurements ? secondary_->Latency() : 0;
    const uint64_t f = uint64_t(r * 200 / 1000);
    const uint64_t fifth = uint64_t(r / 5);
    if (latM != 0 && latS != 0) {
      anchored_ = aligned_ = true;
      hold_ = Frames(std::min<int64_t>(std::max<int64_t>(latS - latM, 0), kTicksPerSecond), main_->Rate());
      Emit("[mix] ANCHOR latM=%lld latS=%lld holdF=%lld", (long long)latM, (long long)latS, (long long)hold_);
    } else if ((cS >= f && cM == 0) || (cM >= f && cS == 0)) {
      anchored_ = true;
      aligned_ = false;
      hold_ = 0;
      Emit("[mix] ANCHOR giveup fcM=%llu fcS=%llu latM=%lld latS=%lld", (unsigned long long)cM,
           (unsigned long long)cS, (long long)latM, (long long)latS);
    } else if (cM > 0 && cS > 0 && cM >= fifth && cS >= fifth) {
      // Both deliver but at most one has a latency figure: mix unaligned rather
      // than leave the secondary out of the whole recording.
      anchored_ = true;
      aligned_ = false;
      hold_ = 0;
    }
  }

  // The main path is missing (not merely late) for the stretch its device did
  // not capture: before frames stamped well after where it left off, or, while
  // its ring is empty, what lies more than the late bound behind the clock.
  // Only that stretch becomes silence; late frames follow on where they belong.
  int64_t avMNow = avM;
  int64_t headMNow = headM;
  if (running && avMNow > 0 && headMNow != 0 && mainIdle_ > 0 && headMNow < mainEnd_ - kGapTolerance) {
    // Later than the late bound: the part the silence already covers goes.
    const int64_t dropF = std::min(Frames(std::min(mainEnd_ - headMNow, mainIdle_), r), avMNow);
    main_->Ring().Read(nullptr, size_t(dropF * ch));
    lateDrops_ += 1;
    lateDroppedTicks_ += FramesToTicks(dropF, r);
    Emit("[mix] LATE 迟到的主路数据与已补的静音重叠，丢弃 %lld 帧 (%lld ms)", (long long)dropF,
         (long long)(FramesToTicks(dropF, r) / 10'000));
    mainIdle_ = 0;
    avMNow = FramesIn(main_->Ring(), ch);
    headMNow = main_->HeadTimestamp();
  }
  int64_t mainGap = 0;
  if (running && anchored_) {
    const int64_t silence = SingleSilenceTicks(avMNow > 0, headMNow, mainEnd_, now,
                                               avMNow > 0 ? kGapTolerance : kClockTolerance, kLateBound);
    mainGap = Frames(silence, r);
  }
  const bool mStall = mainGap > 0;
  // Lined up against the main path's next frame (not while it is missing).
  if (aligned_ && running && !mStall) {
    Align(headMNow, avMNow);
    headS = secondary_->HeadTimestamp();
  }
  const bool waiting = secondaryWait_ > 0;
  const int64_t avSNow = FramesIn(secondary_->Ring(), ch) + resampler_.Pending();
  const int64_t sFrames = resampler_.OutputFramesFor(avSNow);
  // A secondary that still delivers is only late when its ring runs dry: the
  // main path waits for it rather than go on alone and leave it behind.
  const bool sStall = Quiet(sNew, ms, secondaryChangeMs_, secondaryGapMs_);
  const bool sSil = !(anchored_ && !waiting && (sFrames > 0 || (running && !sStall)));

  const uint64_t overflow = secondary_->OverflowFrames();
  if (overflow != lastOverflowCount_) {
    lastOverflowCount_ = overflow;
    Emit("[mix] SDROP 从路环溢出累计=%llu 帧 avS=%u ringCap=%u 帧 （环满 ⇒ 采集端在丢数据，产物会缺料）",
         (unsigned long long)overflow, unsigned(avS), unsigned(secondary_->Ring().Capacity() / size_t(ch)));
  }

  if (LogDue()) {
    LogMixTwo(headM, headS, avM, avSNow, sSil, mStall, mNew);
    ClosePeriod();
  }

  const int64_t h = (running && anchored_) ? hold_ : 0;
  const int64_t mFree = avMNow > h ? avMNow - h : 0;
  int64_t n = 0;
  if (running) {
    n = cap;
    n = mStall ? std::min(n, mainGap) : std::min(n, mFree);
    if (!sSil) n = std::min(n, sFrames);
    if (waiting) n = std::min(n, secondaryWait_);
    if (resampler_.InputCapacity() >= 2) n = std::min(n, resampler_.OutputCapacity());
  } else {
    n = std::min(avMNow, cap);
  }

  const int64_t t = now;
  const int64_t dt = (lastStep_ != 0 && t > lastStep_) ? t - lastStep_ : 0;
  lastStep_ = t;
  if (n <= 0) return 0;

  if (running) {
    const int64_t target = mStall ? kStalledTargetLead : kTargetLead;
    const int64_t producedTicks = FramesToTicks(produced_, r);
    const int64_t elapsed = t - start_;
    const int64_t lead = producedTicks - elapsed;
    const int64_t budget = bypass ? target : LeadWithSlip(lead, target);
    n = ClampToWallClock(n, producedTicks, elapsed, budget, r, kClampThreshold);
    n = BatchDurationCap(n, r, kBatchDuration);
    // Silence for a stretch the main device did not capture is owed at once.
    if (!bypass && !mStall) n = RateGate(n, dt, RateGateDirection(lead, target), &credit_, r);
    if (n <= 0) return 0;
  }

  pace_ += FramesToTicks(n, r);
  produced_ += n;
  if (waiting) secondaryWait_ -= std::min(secondaryWait_, n);
  AdjustDrift(sSil, waiting, avSNow, n);

  int64_t got = 0;
  if (!mStall && avMNow != 0) {
    got = int64_t(main_->Ring().Read(mainBuffer_.data(), size_t(std::min(n, running ? mFree : avMNow) * ch))) / ch;
  }
  if (got > 0) {
    mainEnd_ = (headMNow != 0 ? headMNow : mainEnd_) + FramesToTicks(got, r);
    mainIdle_ = 0;
  }
  if (n > got) {
    mainEnd_ += FramesToTicks(n - got, r);
    if (avMNow == 0) mainIdle_ += FramesToTicks(n - got, r);
  }
  std::fill(mainBuffer_.begin() + got * ch, mainBuffer_.begin() + n * ch, 0.0f);
  if (sSil) {
    std::memcpy(out, mainBuffer_.data(), size_t(n * ch) * sizeof(float));
    return n;
  }
  ResampleSecondary(n, out);
  return n;
}

void SourceMixer::Align(int64_t headM, int64_t avM) {
  const int64_t headS = secondary_->HeadTimestamp();
  if (secondaryWait_ > 0 || headM == 0 || headS == 0 || avM == 0) return;
  const int64_t rS = secondary_->Rate();
  // The secondary's next output frame lies in the resampler's carry-over, the
  // phase into it, ahead of the ring's head.
  const double carried = double(resampler_.Pending()) - resampler_.Phase();
  offsets_[offsetCount_++] = headS - int64_t(std::llround(carried * double(kTicksPerSecond) / double(rS))) - headM;
  if (offsetCount_ < kOffsetSamples) return;
  offsetCount_ = 0;
  // Single timestamps jitter by a few ms; the median of a round does not.
  int64_t sorted[kOffsetSamples];
  std::copy(offsets_, offsets_ + kOffsetSamples, sorted);
  std::nth_element(sorted, sorted + kOffsetSamples / 2, sorted + kOffsetSamples);
  const int64_t offset = sorted[kOffsetSamples / 2];
  if (offset > kAlignTolerance) {
    // The secondary starts later: the main path goes on alone until it is due.
    secondaryWait_ = Frames(offset, rate_);
    Emit("[mix] ALIGN off=%lld waitF=%lld", (long long)offset, (long long)secondaryWait_);
  } else if (offset < -kAlignTolerance) {
    // Its front belongs with main audio already written: the carry-over
    // first (it is older than the ring's head), then the ring.
    const int64_t ch = channels_;
    const int64_t want = std::min(Frames(-offset, rS), DropLimitFrames(rS));
    const int64_t carried = resampler_.DiscardPending(want);
    const int64_t fromRing = std::min(want - carried, FramesIn(secondary_->Ring(), ch));
    if (fromRing > 0) secondary_->Ring().Read(nullptr, size_t(fromRing * ch));
    const int64_t dropF = carried + fromRing;
    // The fill falls by the drop, not by drift.
    driftBaseline_ -= dropF;
    Emit("[mix] ALIGN off=%lld dropF=%lld", (long long)offset, (long long)dropF);
  }
}

void SourceMixer::ResampleSecondary(int64_t n, float* out) {
  resampler_.Process(mainBuffer_.data(), n, secondary_->Ring(), out);
}

void SourceMixer::AdjustDrift(bool sSil, bool waiting, int64_t avS, int64_t n) {
  if (waiting && driftArmed_) {
    // The secondary is held back on purpose: what it delivers meanwhile is
    // not drift.
    driftBaseline_ += int64_t(std::llround(double(n) * resampler_.Step()));
    return;
  }
  if (sSil) {
    driftArmed_ = false;
    return;
  }
  if (!running_.load(std::memory_order_acquire)) return;
  if (!driftArmed_) {
    driftArmed_ = true;
    driftCounter_ = 0;
    driftBaseline_ = avS;
    return;
  }
  driftCounter_ += n;
  if (driftCounter_ < driftInterval_) return;
  // The fill swings by a packet or two of either path from step to step; a
  // change within that swing is no drift, and the measurement goes on over
  // a longer stretch until it shows one.
  const int64_t swing = secondary_ != nullptr ? Frames(kDriftSwing, secondary_->Rate()) : 0;
  if (std::llabs(avS - driftBaseline_) < swing) return;
  const double change = std::clamp(double(avS - driftBaseline_) / double(driftCounter_), -kDriftLimit, kDriftLimit);
  resampler_.SetStep(std::clamp(resampler_.Step() + change, nominalStep_ * 0.995, nominalStep_ * 1.005));
  driftCounter_ = 0;
  driftBaseline_ = avS;
}

bool SourceMixer::LogDue() const { return totals_.steps - atLastLog_.steps >= std::max<int64_t>(logInterval_, 1); }

void SourceMixer::ClosePeriod() {
  atLastLog_.steps = totals_.steps;
  atLastLog_.hits = totals_.hits;
  atLastLog_.framesOut = totals_.framesOut;
  totals_.largestBatch = 0;
  largestGap_ = 0;
  sinkMaximum_ = 0;
  sinkSum_ = 0;
  sinkCount_ = 0;
}

void SourceMixer::LogMixTwo(int64_t headM, int64_t headS, int64_t avM, int64_t avS, bool sSil, bool mStall,
                            bool mNew) {
  const long long sa = sinkCount_ > 0 ? (long long)(sinkSum_ / double(sinkCount_) * 10 + 0.5) : 0;
  Emit("[mix] MIX pace=%lld headM=%lld headS=%lld avM=%u avS=%u anch=%d latA=%d hold=%lld sSil=%d wait=%lld "
       "mStall=%d mNew=%d | hit=%lld/%lld out=%lld mx=%lld gx=%lld sk=%lld sa=%lld ptrC=%lld ptrB=%lld",
       (long long)pace_, (long long)headM, (long long)headS, unsigned(avM), unsigned(avS), int(anchored_),
       int(aligned_), (long long)hold_, int(sSil), (long long)secondaryWait_, int(mStall), int(mNew),
       (long long)(totals_.hits - atLastLog_.hits), (long long)(totals_.steps - atLastLog_.steps),
       (long long)(totals_.framesOut - atLastLog_.framesOut), (long long)totals_.largestBatch,
       (long long)((largestGap_ + 5000) / 10000), (long long)(sinkMaximum_ + 0.5), sa, (long long)pointerBackCount_,
       (long long)pointerBackMaximum_);
}

void SourceMixer::LogMixOne(CaptureSource& source) {
  const int64_t r = source.Rate() != 0 ? source.Rate() : 48000;
  const int64_t now = clock_.Now100ns();
  const int64_t real = Frames(start_ != 0 ? now - start_ : 0, r);
  const int64_t idleMs = (now - captureEnd_) / 10'000;
  const long long sa = sinkCount_ > 0 ? (long long)(sinkSum_ / double(sinkCount_) * 10 + 0.5) : 0;
  Emit("[mix] MIX pace=%lld 1src=1 avM=%u idle=%lld owed=%lld | hit=%lld/%lld out=%lld mx=%lld gx=%lld sk=%lld "
       "sa=%lld ptrC=%lld ptrB=%lld lead=%lld",
       (long long)pace_, unsigned(FramesIn(source.Ring(), channels_)), (long long)idleMs, (long long)(real - produced_),
       (long long)(totals_.hits - atLastLog_.hits), (long long)(totals_.steps - atLastLog_.steps),
       (long long)(totals_.framesOut - atLastLog_.framesOut), (long long)totals_.largestBatch,
       (long long)((largestGap_ + 5000) / 10000), (long long)(sinkMaximum_ + 0.5), sa, (long long)pointerBackCount_,
       (long long)pointerBackMaximum_, (long long)((produced_ - real) * 1000 / r));
}

void SourceMixer::Emit(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(line_, sizeof line_, format, args);
  va_end(args);
  if (log_) {
    log_(line_);
  } else {
    AppLog("%s", line_);
  }
}

}  // namespace vesk
