#pragma once
// Drives a SourceMixer on a virtual clock with scripted sources: each source
// delivers 10 ms packets stamped `latency` before their arrival, and the
// rig pulls like the RecorderThread (again at once after a batch, after an
// empty Pull 8 ms later).
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "record/memory_capture_source.h"
#include "record/pacing.h"
#include "record/source_mixer.h"

namespace vesk::test {

inline constexpr int64_t kMs = 10'000;

struct Script {
  std::function<float(int64_t frame, int channel)> signal = [](int64_t, int) { return 0.0f; };
  int64_t latency = 10 * kMs;
  int64_t packetTicks = 10 * kMs;
  double speed = 1.0;  // frames delivered per nominal frame (drift)
  std::vector<std::pair<int64_t, int64_t>> quiet;  // [from, to) after start: no packets
  std::vector<std::pair<int64_t, int64_t>> held;   // [from, to): packets wait until `to` (a late thread)
  bool enabled = true;
  // progress
  int64_t nextArrival = 0;
  double owed = 0;
  int64_t sent = 0;
};

struct Batch {
  int64_t time;
  int64_t frames;
  int64_t produced;  // after the batch
  int64_t real;      // wall-clock frames since Start at that time
  bool running;
};

class MixRig {
 public:
  MixRig(uint32_t micRate = 48000, uint32_t loopRate = 48000)
      : mic(clock, micRate), loop(clock, loopRate), mixer(mic, loop, clock, [this](const char* line) {
          log.emplace_back(line);
        }) {}

  bool Start(bool useMic, bool useLoop, uint16_t channels = 2, std::string* error = nullptr) {
    std::string e;
    const bool ok = mixer.Start(useMic ? "mic" : "", false, useLoop ? "speakers" : "", true, channels, 0, 16, e);
    if (error) *error = e;
    start = clock.Now100ns();
    for (Script* s : {&micScript, &loopScript}) {
      s->nextArrival = start + s->packetTicks;
      s->owed = 0;
      s->sent = 0;
    }
    return ok;
  }

  void Deliver() {
    DeliverOne(mic, micScript);
    DeliverOne(loop, loopScript);
  }

  void Tick(int64_t ms = 1) {
    for (int64_t i = 0; i < ms; ++i) {
      clock.AdvanceMs(1);
      Deliver();
    }
  }

  size_t PullOnce() {
    const size_t n = mixer.Pull(out.data(), 8192);
    const int64_t r = mixer.Format().sampleRate;
    batches.push_back(Batch{clock.Now100ns(), int64_t(n), mixer.Produced(),
                            Frames(clock.Now100ns() - mixer.StartTick(), r), mixer.IsRunning()});
    if (keepAudio) recorded.insert(recorded.end(), out.begin(), out.begin() + int64_t(n) * Channels());
    if (onPull) onPull(n);
    return n;
  }

  // Pulls for `ms` milliseconds of virtual time.
  void Run(int64_t ms) {
    const int64_t end = clock.Now100ns() + ms * kMs;
    while (clock.Now100ns() < end) {
      if (PullOnce() > 0) {
        Tick(1);
      } else {
        Tick(8);
      }
    }
  }

  // Pulls without advancing the clock until a Pull returns 0.
  std::vector<size_t> Drain() {
    std::vector<size_t> sizes;
    for (int guard = 0; guard < 10000; ++guard) {
      const size_t n = PullOnce();
      sizes.push_back(n);
      if (n == 0) break;
    }
    return sizes;
  }

  int Channels() const { return mixer.Format().channels; }

  int CountLines(const std::string& needle) const {
    int c = 0;
    for (const auto& l : log) c += l.find(needle) != std::string::npos;
    return c;
  }

  ManualClock clock;
  MemoryCaptureSource mic;
  MemoryCaptureSource loop;
  std::vector<std::string> log;
  SourceMixer mixer;
  Script micScript, loopScript;
  std::vector<float> out = std::vector<float>(8192 * 2);
  std::vector<float> recorded;
  bool keepAudio = true;
  std::vector<Batch> batches;
  std::function<void(size_t)> onPull;
  int64_t start = 0;

 private:
  void DeliverOne(MemoryCaptureSource& source, Script& s) {
    if (!source.IsRunning() || !s.enabled) return;
    const int64_t now = clock.Now100ns();
    while (s.nextArrival <= now) {
      const int64_t at = s.nextArrival - start;
      bool late = false;
      for (const auto& [from, to] : s.held) late = late || (at >= from && at < to && now - start < to);
      if (late) break;
      bool quiet = false;
      for (const auto& [from, to] : s.quiet) quiet = quiet || (at >= from && at < to);
      const double exact = double(Frames(s.packetTicks, source.Rate())) * s.speed + s.owed;
      const int64_t frames = int64_t(exact);
      s.owed = exact - double(frames);
      if (!quiet) {
        const int ch = source.Channels();
        packet_.resize(size_t(frames * ch));
        for (int64_t i = 0; i < frames; ++i)
          for (int c = 0; c < ch; ++c) packet_[size_t(i * ch + c)] = s.signal(s.sent + i, c);
        source.Push(packet_.data(), size_t(frames), s.nextArrival - s.latency);
        s.sent += frames;
      }
      s.nextArrival += s.packetTicks;
    }
  }
  std::vector<float> packet_;
};

}  // namespace vesk::test
