// Packet conversion of the capture stream and the render loop of the
// playback stream, driven without a device.
#include <gtest/gtest.h>

#include <cstring>

#include "support/signal.h"
#include "audio/capture_stream.h"
#include "audio/playback_stream.h"
#include "doc/sample_store.h"

namespace vesk {
namespace {

std::vector<uint8_t> Bytes16(std::initializer_list<int16_t> v) {
  std::vector<uint8_t> b(v.size() * 2);
  std::memcpy(b.data(), std::data(v), b.size());
  return b;
}

struct ConvertCase {
  const char* name;
  DeviceSampleFormat format;
  std::vector<uint8_t> data;  // one frame
  uint16_t target;
  std::vector<float> expect;
};

std::vector<uint8_t> FloatFrame(std::initializer_list<float> v) {
  std::vector<uint8_t> b(v.size() * 4);
  std::memcpy(b.data(), std::data(v), b.size());
  return b;
}

class ConvertPacketTest : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertPacketTest, MapsDeviceFramesToTheTargetChannels) {
  const ConvertCase& c = GetParam();
  std::vector<float> out(c.target);
  PacketMeters m;
  ConvertPacket(c.data.data(), 1, c.format, c.target, out.data(), m);
  ASSERT_EQ(out.size(), c.expect.size());
  for (size_t i = 0; i < out.size(); ++i) EXPECT_FLOAT_EQ(out[i], c.expect[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ConvertPacketTest,
    ::testing::Values(
        ConvertCase{"Int16Stereo", {2, 16, false}, Bytes16({16384, -32768}), 2, {0.5f, -1.0f}},
        ConvertCase{"Int24Extremes", {2, 24, false}, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}, 2,
                    {-1.0f, float(8388607 * 1.1920929e-7)}},
        ConvertCase{"Int32Half", {1, 32, false}, {0x00, 0x00, 0x00, 0x40}, 2, {0.5f, 0.5f}},
        ConvertCase{"MonoDeviceToStereo", {1, 32, true}, FloatFrame({0.25f}), 2, {0.25f, 0.25f}},
        ConvertCase{"SixChannelsToStereo", {6, 32, true}, FloatFrame({0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f}), 2,
                    {0.1f, 0.2f}},
        ConvertCase{"SixChannelsToMonoMean", {6, 32, true}, FloatFrame({0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f}), 1,
                    {0.35f}},
        ConvertCase{"FloatBeyondFullScaleIsLimited", {2, 32, true}, FloatFrame({1.5f, -3.0f}), 2, {1.0f, -1.0f}},
        ConvertCase{"UnknownWidthGivesSilence", {2, 8, false}, {0x40, 0x40}, 2, {0.0f, 0.0f}}),
    [](const auto& info) { return std::string(info.param.name); });

// A stream whose packets come from the test instead of a device.
class HandFedStream final : public CaptureStream {
 public:
  bool Start(const std::string&, bool, uint16_t, uint32_t, std::string&) override { return false; }
  void Stop() override { ZeroMeters(); }
  void Begin(uint32_t rate, uint16_t target, DeviceSampleFormat format) {
    ResetForStart("test", false, target, 0);
    BeginCapture(rate, rate, format);
  }
};

TEST(CaptureStreamPackets, SilentPacketWritesZerosAndKeepsPeakHolds) {
  HandFedStream s;
  s.Begin(48000, 2, {2, 32, true});
  const auto tone = test::Sine(480, 2, 1000, 48000, 0.9f);
  s.OnPacket(tone.data(), 480, false, 1000);
  EXPECT_NEAR(s.Peak(0), 0.9f, 0.01f);
  EXPECT_NEAR(s.Rms(1), 0.9f / std::sqrt(2.0f), 0.01f);
  const float hold = s.PeakHold(0);
  s.OnPacket(nullptr, 480, true, 2000);
  EXPECT_EQ(s.Peak(0), 0.0f);
  EXPECT_EQ(s.Rms(0), 0.0f);
  EXPECT_EQ(s.PeakHold(0), hold);
  EXPECT_EQ(s.CapturedFrames(), 960u);
  std::vector<float> ring(960 * 2);
  ASSERT_EQ(s.Ring().Read(ring.data(), ring.size()), ring.size());
  for (size_t i = 960; i < ring.size(); ++i) ASSERT_EQ(ring[i], 0.0f);
  EXPECT_EQ(s.HeadTimestamp(), 0);
}

TEST(CaptureStreamPackets, ClipFlagAndMonoMetersMirrorChannelZero) {
  HandFedStream s;
  s.Begin(48000, 1, {1, 32, true});
  const auto loud = test::Sine(480, 1, 100, 48000, 1.0f);
  s.OnPacket(loud.data(), 480, false, 0);
  EXPECT_TRUE(s.Clipped(0));
  EXPECT_EQ(s.Peak(1), s.Peak(0));
  EXPECT_EQ(s.Rms(1), s.Rms(0));
  s.ClearClipsAndPeaks();
  EXPECT_FALSE(s.Clipped(0));
}

TEST(CaptureStreamPackets, FullRingRefusesWholeFramesAndCountsThem) {
  HandFedStream s;
  s.Begin(1000, 2, {2, 32, true});  // 8 s ring = 8000 frames
  const auto block = test::Sine(1000, 2, 10, 1000);
  for (int i = 0; i < 9; ++i) s.OnPacket(block.data(), 1000, false, 1);
  EXPECT_EQ(s.CapturedFrames(), 9000u);
  EXPECT_EQ(s.OverflowFrames(), 1001u);  // one frame of space always stays free
}

TEST(CaptureSwitchesTest, DropWindowsAndOwedFrames) {
  CaptureSwitches s;
  bool owed = false;
  EXPECT_FALSE(s.Discards(0, owed));
  s.dropUntilSeconds = 2;
  EXPECT_TRUE(s.Discards(1999, owed));
  EXPECT_TRUE(owed);
  EXPECT_FALSE(s.Discards(2000, owed));
  s.dropFromSeconds = 5;
  EXPECT_TRUE(s.Discards(5000, owed));
  EXPECT_FALSE(owed);
  s.dropAll = true;
  EXPECT_TRUE(s.Discards(3000, owed));
}

// Playback without a device: Render is called as the device would.
class DevicelessPlayback final : public PlaybackStream {
 public:
  void Stop() override {
    running_.store(false);
    ForgetBuffer();
  }
  void Play(const std::vector<float>& buf, AudioFormat f, uint64_t start, uint64_t ls, uint64_t le,
            uint32_t deviceRate, uint16_t deviceChannels) {
    SetBuffer(buf.data(), buf.size() / f.channels, f, start, ls, le);
    running_.store(true);
    PrepareRender(deviceRate, {deviceChannels, 32, true});
  }
  void Play(const SampleSource& source, AudioFormat f, uint64_t start, uint64_t ls, uint64_t le, uint32_t deviceRate,
            uint16_t deviceChannels) {
    SetBuffer(&source, f, start, ls, le);
    running_.store(true);
    PrepareRender(deviceRate, {deviceChannels, 32, true});
  }

 protected:
  bool StartDevice(std::string&) override { return true; }
};

TEST(PlaybackRender, ConvertsA44kBufferToA48kDeviceAtTheRightPitch) {
  DevicelessPlayback p;
  const auto buf = test::Sine(44100, 2, 1000, 44100);
  p.Play(buf, {44100, 2, 16}, 0, 0, 0, 48000, 2);
  std::vector<float> out(40000 * 2);
  ASSERT_TRUE(p.Render(out.data(), 40000));
  EXPECT_NEAR(test::ZeroCrossingPitch(out, 2, 0, 48000), 1000.0, 0.5);
  EXPECT_EQ(p.Position(), uint64_t(40000 * 0.91875));
}

TEST(PlaybackRender, MapsMonoToBothAndStereoLeftToChannelZeroRightToTheRest) {
  DevicelessPlayback p;
  const std::vector<float> mono{0.5f, 0.5f};
  p.Play(mono, {48000, 1, 16}, 0, 0, 0, 48000, 2);
  std::vector<float> out(2);
  p.Render(out.data(), 1);
  EXPECT_EQ(out, (std::vector<float>{0.5f, 0.5f}));
  const std::vector<float> stereo{0.1f, 0.2f, 0.1f, 0.2f};
  p.Play(stereo, {48000, 2, 16}, 0, 0, 0, 48000, 6);
  std::vector<float> six(6);
  p.Render(six.data(), 1);
  EXPECT_EQ(six, (std::vector<float>{0.1f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f}));
}

// Surround on a narrower device is heard as its fold (centre and surrounds at
// -3 dB, normalised: 1 + 2 * 0.707 per side for 5.1); a device as wide as
// the buffer gets every channel as it is.
TEST(PlaybackRender, FoldsSurroundIntoANarrowerDevice) {
  const float n51 = 1 + 2 * 0.70710678f;
  struct Case {
    const char* name;
    int sounding;
    uint16_t deviceChannels;
    std::vector<float> expect;
  } cases[] = {
      {"centre on stereo", 2, 2, {0.6f * 0.70710678f / n51, 0.6f * 0.70710678f / n51}},
      {"left surround on stereo", 4, 2, {0.6f * 0.70710678f / n51, 0}},
      {"low-frequency on stereo", 3, 2, {0, 0}},
      {"left surround on mono", 4, 1, {0.3f * 0.70710678f / n51}},
      {"centre on 5.1", 2, 6, {0, 0, 0.6f, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DevicelessPlayback p;
    std::vector<float> buf(2 * 6, 0.0f);
    buf[c.sounding] = buf[6 + c.sounding] = 0.6f;
    p.Play(buf, {48000, 6, 16}, 0, 0, 0, 48000, c.deviceChannels);
    std::vector<float> out(c.deviceChannels);
    p.Render(out.data(), 1);
    ASSERT_EQ(out.size(), c.expect.size());
    for (size_t k = 0; k < out.size(); ++k) EXPECT_NEAR(out[k], c.expect[k], 1e-6) << k;
  }
}

TEST(PlaybackRender, LoopsOverTheRangeWithoutAGapAndSnapsSeeks) {
  DevicelessPlayback p;
  std::vector<float> ramp(200000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i) / 200000.0f;
  p.Play(ramp, {48000, 1, 16}, 90000, 48000, 96000, 48000, 1);
  std::vector<float> out(12000);
  ASSERT_TRUE(p.Render(out.data(), out.size()));
  // 90000 … 95999, then 48000 … 53999 directly after.
  EXPECT_FLOAT_EQ(out[5999], 95999 / 200000.0f);
  EXPECT_FLOAT_EQ(out[6000], 48000 / 200000.0f);
  EXPECT_EQ(p.Position(), 54000u);
  p.Seek(10);
  EXPECT_EQ(p.Position(), 48000u);
  p.SetLoop(0, 0);
  p.Seek(500000);
  EXPECT_EQ(p.Position(), 200000u);
}

// The edit document plays from its pieces: a loop across many piece
// boundaries, resampled, sounds exactly as the same samples in one buffer.
TEST(PlaybackRender, PiecesPlayAsTheSameSamplesInOneBuffer) {
  std::vector<float> ramp(200000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i) / 200000.0f;
  SampleSequence pieces(std::vector<float>(ramp), 1);
  for (uint64_t at = 1000; at < 200000; at += 7919) pieces = pieces.Replaced(at, at + 3, pieces.Copy(at, at + 3));
  ASSERT_GT(pieces.PieceCount(), 40u);
  DevicelessPlayback one, many;
  one.Play(ramp, {44100, 1, 16}, 30000, 20000, 120000, 48000, 2);
  many.Play(pieces, {44100, 1, 16}, 30000, 20000, 120000, 48000, 2);
  std::vector<float> a(2 * 150000), b(2 * 150000);
  ASSERT_TRUE(one.Render(a.data(), 150000));
  ASSERT_TRUE(many.Render(b.data(), 150000));
  EXPECT_EQ(a, b);
}

TEST(PlaybackRender, EndsAfterTwelveCallbacksOfSilencePastTheEnd) {
  DevicelessPlayback p;
  const auto buf = test::Sine(1000, 1, 1000, 48000);
  p.Play(buf, {48000, 1, 16}, 999, 0, 0, 48000, 1);
  std::vector<float> out(480);
  int callbacks = 1;
  while (p.Render(out.data(), out.size()) && callbacks < 100) ++callbacks;
  EXPECT_EQ(callbacks, 7) << "each callback past the end counts twice: once at the end frame, once after";
  for (size_t i = 1; i < out.size(); ++i) EXPECT_EQ(out[i], 0.0f);
}

TEST(PlaybackRender, StartFrameBeyondTheBufferStartsAtZero) {
  DevicelessPlayback p;
  const std::vector<float> buf(100, 0.1f);
  p.Play(buf, {48000, 1, 16}, 500, 0, 0, 48000, 1);
  EXPECT_EQ(p.Position(), 0u);
  std::string error;
  EXPECT_FALSE(p.Start(nullptr, 0, {48000, 1, 16}, 0, "", error));
  EXPECT_EQ(error, "没有可播放的内容。");
}

// Holes: a flagged discontinuity counts once with the gap its timestamps
// show (not on the first packet), a run of packets the full ring refuses
// counts once with the refused length.
TEST(CaptureStreamPackets, CountsEachHoleOnceWithItsLength) {
  HandFedStream s;
  s.Begin(48000, 1, {1, 32, true});
  std::vector<float> block(48000, 0.1f);
  constexpr int64_t t0 = 1'000'000'000;
  s.NoteDiscontinuity();
  s.OnPacket(block.data(), 480, false, t0);
  EXPECT_EQ(s.LossCount(), 0u);
  s.NoteDiscontinuity();
  s.OnPacket(block.data(), 480, false, t0 + 100'000 + 1'000'000);  // 100 ms after the first ended
  EXPECT_EQ(s.LossCount(), 1u);
  EXPECT_EQ(s.LostTicks(), 1'000'000);
  // The ring holds 8 s: ten 1 s packets overflow it in one run.
  for (int i = 0; i < 10; ++i) s.OnPacket(block.data(), 48000, false, 0);
  EXPECT_EQ(s.LossCount(), 2u);
  EXPECT_EQ(s.LostTicks(), 1'000'000 + 10'000'000 * int64_t(s.OverflowFrames()) / 48000);
  s.Ring().Read(nullptr, 96000);
  s.OnPacket(block.data(), 48000, false, 0);
  EXPECT_EQ(s.LossCount(), 2u);
  for (int i = 0; i < 2; ++i) s.OnPacket(block.data(), 48000, false, 0);
  EXPECT_EQ(s.LossCount(), 3u);
}

}  // namespace
}  // namespace vesk
