// Capture streams against the private PulseAudio server: the tone-fed
// microphone and the monitors of the null sinks as loopback.
#include <chrono>
#include <thread>

#include "support/signal.h"
#include "audio/capture_stream.h"
#include "audio/linux/pulse_fixture.h"
#include "platform/clock.h"

namespace vesk {
namespace {

using test::PulseTest;

std::vector<float> Drain(CaptureStream& s) {
  std::vector<float> v(s.Ring().Available());
  v.resize(s.Ring().Read(v.data(), v.size()));
  return v;
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct CaptureCase {
  const char* name;
  uint16_t channels;
  uint32_t rate;  // 0 = the device's
  uint32_t expectRate;
};

class PulseCaptureTest : public PulseTest, public ::testing::WithParamInterface<CaptureCase> {};

TEST_P(PulseCaptureTest, SineSourceArrivesWithItsPitchAndLevel) {
  const CaptureCase& c = GetParam();
  auto stream = CreateCaptureStream();
  std::string error;
  const int64_t before = Now100ns();
  ASSERT_TRUE(stream->Start("Microphone", false, c.channels, c.rate, error)) << error;
  Sleep(1200);
  const std::vector<float> s = Drain(*stream);
  stream->Stop();
  EXPECT_EQ(stream->Rate(), c.expectRate);
  const int ch = c.channels == 1 ? 1 : 2;
  ASSERT_GT(s.size() / size_t(ch), size_t(c.expectRate) / 2);
  const size_t skip = 2400;  // the stream's first milliseconds may ramp
  EXPECT_NEAR(test::ZeroCrossingPitch(s, ch, 0, c.expectRate, skip), 440.0, 2.0);
  // The microphone's tone is a sine at half scale: RMS 0.354.
  const double rms = test::Rms(s, ch, 0, skip);
  EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0), 0.035);
  if (ch == 2) {
    EXPECT_NEAR(test::Rms(s, 2, 1, skip), rms, 1e-6) << "a mono device feeds both channels alike";
  }
  // Latency figures come from the server's timing information.
  EXPECT_GE(stream->LatencyCount(), 1u);
  EXPECT_LE(stream->LatencyCount(), 10u);
  EXPECT_GT(stream->Latency(), 0);
  EXPECT_LT(stream->Latency(), 5'000'000);
  EXPECT_GE(stream->CapturedFrames(), s.size() / size_t(ch));
  EXPECT_EQ(stream->OverflowFrames(), 0u);
  EXPECT_GT(Now100ns(), before);
  // Stop leaves the meters at zero.
  EXPECT_EQ(stream->Peak(0), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PulseCaptureTest,
                         ::testing::Values(CaptureCase{"StereoDeviceRate", 2, 0, 48000},
                                           CaptureCase{"MonoDeviceRate", 1, 0, 48000},
                                           CaptureCase{"StereoConvertedTo44k", 2, 44100, 44100}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PulseTest, LoopbackRecordsTheToneASinkPlaysWithTimestampsOnTheProcessClock) {
  test::TonePlayer player(daemon_->Dir(), "Speakers", 1000, 5);
  ASSERT_TRUE(player.Ok());
  auto stream = CreateCaptureStream();
  std::string error;
  ASSERT_TRUE(stream->Start("Speakers", true, 2, 0, error)) << error;
  const int64_t opened = Now100ns();
  Sleep(1500);
  const int64_t head = stream->HeadTimestamp();
  const int64_t now = Now100ns();
  const std::vector<float> s = Drain(*stream);
  stream->Stop();
  // The oldest frame in the ring was captured about when the stream opened.
  EXPECT_GT(head, opened - 5'000'000) << "captured " << stream->CapturedFrames() << " player running " << !player.Wait(0) << "\n" << daemon_->Log();
  EXPECT_LT(head, opened + 5'000'000);
  // And the ring holds about the time since then.
  EXPECT_NEAR(double(s.size() / 2) / 48000.0, double(now - head) / 1e7, 0.15);
  const size_t skip = 4800;
  EXPECT_NEAR(test::ZeroCrossingPitch(s, 2, 0, 48000, skip), 1000.0, 3.0);
  EXPECT_GT(test::TonePower(s, 2, 1, 48000, 1000, skip), 100 * test::TonePower(s, 2, 1, 48000, 440, skip));
}

struct BacklogCase {
  const char* name;
  const char* endpoint;
  bool loopback;
};

class PulseBacklogTest : public PulseTest, public ::testing::WithParamInterface<BacklogCase> {};

// The microphone's pipe fills while nobody records, and a monitor hands a new
// stream some history: neither is audio from after the start.
TEST_P(PulseBacklogTest, AudioBufferedBeforeTheStreamOpenedIsNotDelivered) {
  const BacklogCase& c = GetParam();
  Sleep(600);
  auto stream = CreateCaptureStream();
  std::string error;
  const int64_t before = Now100ns();
  ASSERT_TRUE(stream->Start(c.endpoint, c.loopback, 2, 0, error)) << error;
  Sleep(400);
  const double held = double(stream->Ring().Available() / 2) / stream->Rate();
  const double since = double(Now100ns() - before) / 1e7;
  const int64_t head = stream->HeadTimestamp();
  stream->Stop();
  EXPECT_LE(held, since + 0.03);
  EXPECT_GT(held, since - 0.1);
  EXPECT_GE(head, before);
}

INSTANTIATE_TEST_SUITE_P(Sources, PulseBacklogTest,
                         ::testing::Values(BacklogCase{"Microphone", "Microphone", false},
                                           BacklogCase{"SpeakersMonitor", "Speakers", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PulseTest, RemovedSourceMarksTheDeviceLostAndDeliversNoMore) {
  auto stream = CreateCaptureStream();
  std::string error;
  ASSERT_TRUE(stream->Start("Microphone", false, 2, 0, error)) << error;
  Sleep(300);
  ASSERT_TRUE(daemon_->Unload(daemon_->MicrophoneModule()));
  for (int i = 0; i < 200 && !stream->DeviceLost(); ++i) Sleep(10);
  ASSERT_TRUE(stream->DeviceLost());
  EXPECT_EQ(stream->LostText(), CaptureStream::kLostText);
  const uint64_t captured = stream->CapturedFrames();
  EXPECT_GT(captured, 0u);
  Sleep(200);
  EXPECT_EQ(stream->CapturedFrames(), captured);
  stream->Stop();
}

TEST_F(PulseTest, OpeningAMissingDeviceFailsWithTheStepName) {
  auto stream = CreateCaptureStream();
  std::string error;
  EXPECT_FALSE(stream->Start("NoSuchSource", false, 2, 0, error));
  EXPECT_EQ(error.rfind("打开所选录音设备 失败（", 0), 0u) << error;
  EXPECT_FALSE(stream->Running());
  // A second start on a running stream is refused.
  ASSERT_TRUE(stream->Start("Microphone", false, 2, 0, error)) << error;
  EXPECT_FALSE(stream->Start("Microphone", false, 2, 0, error));
  stream->Stop();
}

}  // namespace
}  // namespace vesk
