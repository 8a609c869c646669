// The in-memory sound system behaves like a device: endpoints that exist
// open, packets arrive at wall-clock pace, a lost device is reported, and
// playback plays out and stops by itself.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio/memory_device_backend.h"
#include "audio/memory_streams.h"

namespace vesk {
namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls `done` for up to 5 s (a loaded machine may stall the stream's thread).
template <typename F>
bool WaitFor(F done) {
  for (int i = 0; i < 500 && !done(); ++i) Sleep(10);
  return done();
}

TEST(MemoryAudio, CaptureDeliversTheToneUntilTheDeviceDisappears) {
  MemoryDeviceBackend devices({{"mic1", "麦克风", false, true, kDeviceActive},
                               {"mic2", "旧麦克风", false, false, kDeviceDisabled}});
  devices.SetMixRate("mic1", 44100);
  MemoryCaptureStream stream(&devices, 1);
  std::string error;
  EXPECT_FALSE(stream.Start("mic2", false, 2, 0, error));
  EXPECT_EQ(error, "打开录音设备失败。");
  ASSERT_TRUE(stream.Start("mic1", false, 2, 0, error)) << error;
  EXPECT_EQ(stream.Rate(), 44100u);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitFor([&] { return stream.CapturedFrames() >= 44100 * 3 / 10; }));
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_LE(double(stream.CapturedFrames()) / 44100.0, wall + 0.02);  // never ahead of the clock
  EXPECT_NEAR(stream.Peak(0), 0.5f, 0.01f);
  EXPECT_NEAR(stream.Peak(1), 0.5f, 0.01f);  // the mono device feeds both channels
  stream.Disappear();
  ASSERT_TRUE(WaitFor([&] { return stream.DeviceLost(); }));
  EXPECT_EQ(stream.LostText(), CaptureStream::kLostText);
  const uint64_t atLoss = stream.CapturedFrames();
  Sleep(100);
  EXPECT_EQ(stream.CapturedFrames(), atLoss);
  stream.Stop();
  ASSERT_TRUE(stream.Start("mic1", false, 1, 48000, error)) << error;  // a new start works again
  EXPECT_FALSE(stream.DeviceLost());
  EXPECT_EQ(stream.Rate(), 48000u);
}

TEST(MemoryAudio, PlaybackAdvancesItsPositionAndEndsByItself) {
  MemoryDeviceBackend devices({{"spk1", "扬声器", true, true, kDeviceActive}});
  MemoryPlaybackStream playback(&devices);
  std::vector<float> buffer(24000 * 2, 0.25f);  // 0.5 s at 48 kHz
  std::string error;
  EXPECT_FALSE(playback.Start(buffer.data(), 24000, AudioFormat{48000, 2, 16}, 0, "spk9", error));
  ASSERT_TRUE(playback.Start(buffer.data(), 24000, AudioFormat{48000, 2, 16}, 0, "spk1", error)) << error;
  EXPECT_EQ(playback.LastEndpoint(), "spk1");
  ASSERT_TRUE(WaitFor([&] { return playback.Position() > 0; }));
  EXPECT_TRUE(playback.Running());
  ASSERT_TRUE(WaitFor([&] { return !playback.Running(); }));  // played out, then 12 blocks of silence
  EXPECT_GE(playback.Position(), 24000u);
}

}  // namespace
}  // namespace vesk
