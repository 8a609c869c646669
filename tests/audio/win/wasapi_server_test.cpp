// WASAPI against a real sound server: under Wine with its PulseAudio driver,
// pointed at the private daemon that scripts/wine-audio-check.sh starts
// (PULSE_SERVER set; scripts/run-tests.sh runs the whole Windows test program
// that way). Without a server these tests skip, or fail under
// VESK_REQUIRE_REAL_PARTS=1.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio/audio_backend.h"
#include "support/signal.h"
#include "support/test_support.h"
#include "audio/capture_stream.h"
#include "audio/playback_stream.h"

namespace vesk {
namespace {

// Wine's own loader exports this; Windows does not.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class WasapiServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (getenv("PULSE_SERVER") == nullptr) VESK_MISSING_PART("no sound server given (PULSE_SERVER)");
  }
};

TEST_F(WasapiServerTest, EnumeratesTheServersMicrophoneAndBothSinks) {
  const auto entries = CreateAudioDeviceBackend()->Enumerate();
  int capture = 0, render = 0, defaults = 0;
  for (const DeviceEntry& e : entries) {
    (e.loopback ? render : capture) += 1;
    defaults += e.isDefault ? 1 : 0;
    std::printf("%s %s%s\n", e.loopback ? "render " : "capture", e.name.c_str(), e.isDefault ? " (default)" : "");
  }
  EXPECT_GE(capture, 1);
  EXPECT_GE(render, 2);
  EXPECT_EQ(defaults, 2);
}

struct WasapiCase {
  const char* name;
  bool loopback;
  double pitch;  // 0: only frames are expected
};

class WasapiCaptureTest : public WasapiServerTest, public ::testing::WithParamInterface<WasapiCase> {};

TEST_P(WasapiCaptureTest, DefaultEndpointDeliversAboutWallClockOfTheTone) {
  const WasapiCase& c = GetParam();
  auto stream = CreateCaptureStream();
  std::string error;
  const bool started = stream->Start("", c.loopback, 2, 0, error);
  // Wine's audio driver refuses the capture service on a render endpoint;
  // Windows itself must not.
  if (!started && c.loopback && UnderWine() && error.find("0x88890003") != std::string::npos) GTEST_SKIP() << error;
  ASSERT_TRUE(started) << error;
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  std::vector<float> s(stream->Ring().Available());
  s.resize(stream->Ring().Read(s.data(), s.size()));
  stream->Stop();
  const double seconds = double(s.size() / 2) / stream->Rate();
  std::printf("%s: rate %u, %.3f s in 1.5 s, latency %.1f ms over %u packets\n", c.name, stream->Rate(), seconds,
              double(stream->Latency()) / 1e4, stream->LatencyCount());
  EXPECT_GT(seconds, 1.0);
  EXPECT_LT(seconds, 1.8);
  if (c.pitch > 0) {
    EXPECT_NEAR(test::ZeroCrossingPitch(s, 2, 0, stream->Rate(), 4800), c.pitch, 3.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Endpoints, WasapiCaptureTest,
                         ::testing::Values(WasapiCase{"Microphone", false, 440.0},
                                           WasapiCase{"Loopback", true, 1000.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// What WASAPI plays reaches the server at the pace of its clock: a tone
// played on the silent Headphones sink is heard on that sink's monitor (which
// Wine lists as a microphone), and a one-second buffer ends by itself.
TEST_F(WasapiServerTest, ToneReachesTheSinkAndTheBufferPlaysOutAtWallClockPace) {
  std::string sink, monitor;
  for (const DeviceEntry& e : CreateAudioDeviceBackend()->Enumerate()) {
    if (e.loopback && e.name == "Headphones") sink = e.id;
    if (!e.loopback && e.name.find("Monitor of Headphones") != std::string::npos) monitor = e.id;
  }
  ASSERT_FALSE(sink.empty());
  ASSERT_FALSE(monitor.empty());
  auto capture = CreateCaptureStream();
  std::string error;
  ASSERT_TRUE(capture->Start(monitor, false, 2, 0, error)) << error;
  const std::vector<float> tone = test::Sine(48000, 2, 660.0, 48000);
  auto playback = CreatePlaybackStream();
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  const auto beforeStart = Clock::now();
  ASSERT_TRUE(playback->Start(tone.data(), 48000, AudioFormat{48000, 2, 16}, 0, sink, error)) << error;
  // The pace between two readings while it plays, so a start that a busy
  // machine delays does not count against it.
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  const auto t1 = Clock::now();
  const uint64_t p1 = playback->Position();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto t2 = Clock::now();
  const uint64_t p2 = playback->Position();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (playback->Running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const bool ended = !playback->Running();
  playback->Stop();
  std::vector<float> heard(capture->Ring().Available());
  heard.resize(capture->Ring().Read(heard.data(), heard.size()));
  capture->Stop();
  // Never ahead of the clock by more than the device's buffer, and moving
  // on at about its pace.
  EXPECT_LE(double(p2), (seconds(t2 - beforeStart) + 0.2) * 48000);
  EXPECT_GT(double(p2 - p1), 0.5 * seconds(t2 - t1) * 48000) << p1 << " → " << p2;
  EXPECT_TRUE(ended) << "position " << playback->Position();
  const double rate = capture->Rate();
  EXPECT_GT(test::TonePower(heard, 2, 0, rate, 660), 100 * test::TonePower(heard, 2, 0, rate, 1000) + 1e-6);
  float peak = 0;
  for (float v : heard) peak = std::max(peak, std::fabs(v));
  EXPECT_NEAR(peak, 0.5f, 0.02f) << "played at half scale";
}

}  // namespace
}  // namespace vesk
