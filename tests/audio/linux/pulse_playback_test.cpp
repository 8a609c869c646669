// Playback into a null sink, recorded from its monitor.
#include <chrono>
#include <thread>

#include "support/signal.h"
#include "audio/capture_stream.h"
#include "audio/linux/pulse_fixture.h"
#include "audio/playback_stream.h"

namespace vesk {
namespace {

using test::PulseTest;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST_F(PulseTest, A44kDocumentPlaysAtTheRightPitchOnA48kSink) {
  const auto doc = test::Sine(44100 * 4, 2, 1000, 44100);
  auto monitor = CreateCaptureStream();
  std::string error;
  ASSERT_TRUE(monitor->Start("Headphones", true, 2, 0, error)) << error;
  auto player = CreatePlaybackStream();
  ASSERT_TRUE(player->Start(doc.data(), 44100 * 4, {44100, 2, 16}, 0, "Headphones", error)) << error;
  Sleep(1500);
  EXPECT_TRUE(player->Running());
  EXPECT_GT(player->Position(), 44100u / 2);
  std::vector<float> s(monitor->Ring().Available());
  s.resize(monitor->Ring().Read(s.data(), s.size()));
  player->Stop();
  monitor->Stop();
  ASSERT_EQ(monitor->Rate(), 48000u);
  // Find where the tone begins, then measure.
  size_t first = 0;
  while (first < s.size() / 2 && std::fabs(s[first * 2]) < 0.05f) ++first;
  ASSERT_LT(first + 24000, s.size() / 2);
  EXPECT_NEAR(test::ZeroCrossingPitch(s, 2, 0, 48000, first + 480), 1000.0, 2.0);
}

TEST_F(PulseTest, LoopedSelectionContinuesWithoutAGapAndSeeksSnapIntoIt) {
  // A steady tone, so a gap or a jump in the loop shows as silence.
  const auto doc = test::Sine(48000 * 3, 1, 480, 48000);
  auto monitor = CreateCaptureStream();
  std::string error;
  ASSERT_TRUE(monitor->Start("Headphones", true, 1, 0, error)) << error;
  auto player = CreatePlaybackStream();
  ASSERT_TRUE(player->Start(doc.data(), 48000 * 3, {48000, 1, 16}, 90000, "Headphones", error, 48000, 96000))
      << error;
  uint64_t lowest = UINT64_MAX, highest = 0;
  for (int i = 0; i < 60; ++i) {
    Sleep(25);
    lowest = std::min(lowest, player->Position());
    highest = std::max(highest, player->Position());
  }
  EXPECT_TRUE(player->Running());
  EXPECT_GE(lowest, 48000u);
  EXPECT_LT(highest, 96000u);
  player->Seek(10);
  EXPECT_EQ(player->Position(), 48000u);
  Sleep(300);
  std::vector<float> s(monitor->Ring().Available());
  s.resize(monitor->Ring().Read(s.data(), s.size()));
  player->Stop();
  monitor->Stop();
  size_t first = 0;
  while (first < s.size() && std::fabs(s[first]) < 0.05f) ++first;
  // No 5 ms stretch of silence once the tone runs (the loop has no gap).
  size_t quiet = 0, longest = 0;
  for (size_t i = first; i + 4800 < s.size(); ++i) {
    quiet = std::fabs(s[i]) < 1e-3f ? quiet + 1 : 0;
    longest = std::max(longest, quiet);
  }
  EXPECT_LT(longest, 240u);
  EXPECT_GT(s.size() - first, 48000u);
}

TEST_F(PulseTest, PlaybackEndsByItselfAfterTheBuffer) {
  const auto doc = test::Sine(4800, 2, 1000, 48000);
  auto player = CreatePlaybackStream();
  std::string error;
  ASSERT_TRUE(player->Start(doc.data(), 4800, {48000, 2, 16}, 0, "Speakers", error)) << error;
  for (int i = 0; i < 200 && player->Running(); ++i) Sleep(10);
  EXPECT_FALSE(player->Running());
  EXPECT_GE(player->Position(), 4800u);
  player->Stop();
  // A missing sink falls back to the default one.
  ASSERT_TRUE(player->Start(doc.data(), 4800, {48000, 2, 16}, 0, "NoSuchSink", error)) << error << daemon_->Log();
  player->Stop();
}

}  // namespace
}  // namespace vesk
