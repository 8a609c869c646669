#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "record/memory_capture_source.h"
#include "record/source_mixer.h"

namespace vesk {
namespace {

// A capture thread pushing 10 ms packets on the real clock while a recorder
// thread pulls, stops and drains: every captured frame reaches the output
// exactly once and in order; the only other frames are filled silence.
TEST(MixerThreadsTest, RealCaptureThreadLosesAndDuplicatesNothing) {
  MemoryCaptureSource mic(SystemTime(), 48000), loop(SystemTime(), 48000);
  std::vector<std::string> log;
  SourceMixer mixer(mic, loop, SystemTime(), [&](const char* line) { log.emplace_back(line); });
  std::string error;
  ASSERT_TRUE(mixer.Start("mic", false, "", false, 1, 0, 16, error)) << error;

  constexpr int64_t kPackets = 40;  // 400 ms
  std::atomic<bool> captureDone{false};
  std::thread capture([&] {
    std::vector<float> packet(480);
    int64_t frame = 0;
    for (int64_t p = 0; p < kPackets; ++p) {
      for (auto& v : packet) v = float(++frame) / 262144.0f;
      mic.Push(packet.data(), packet.size(), Now100ns());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    captureDone = true;
  });

  std::vector<float> recorded, out(8192);
  std::thread recorder([&] {
    bool stopped = false;
    for (;;) {
      if (!stopped && captureDone) {
        mixer.Stop();
        stopped = true;
      }
      const size_t n = mixer.Pull(out.data(), 8192);
      recorded.insert(recorded.end(), out.begin(), out.begin() + int64_t(n));
      if (n == 0) {
        if (stopped && mixer.MainPathFrames() == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(8));
      }
    }
  });
  capture.join();
  recorder.join();

  float expect = 1;
  for (float v : recorded) {
    if (v == 0.0f) continue;
    ASSERT_EQ(v, expect / 262144.0f);
    expect += 1;
  }
  EXPECT_EQ(int64_t(expect) - 1, kPackets * 480);
  EXPECT_EQ(mic.OverflowFrames(), 0u);
}

}  // namespace
}  // namespace vesk
