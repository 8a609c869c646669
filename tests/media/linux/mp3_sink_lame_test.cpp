// The MP3 sink with the LAME backend, checked by decoding its files with the
// ffmpeg program.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "media/mp3_sink.h"
#include "support/signal.h"
#include "support/test_support.h"

namespace vesk {
namespace {

// Decoded samples (interleaved, at the file's own rate and channels).
std::vector<float> Decode(const std::filesystem::path& mp3, const test::ScratchDir& dir) {
  const auto out = dir / "decoded.f32";
  if (test::Shell("ffmpeg -v error -y -i '" + mp3.string() + "' -f f32le '" + out.string() + "'") != 0) return {};
  const std::string bytes = test::ReadText(out);
  std::vector<float> v(bytes.size() / 4);
  std::memcpy(v.data(), bytes.data(), v.size() * 4);
  return v;
}

// "rate,channels,bit_rate" of the first audio stream.
std::string Probe(const std::filesystem::path& mp3, const test::ScratchDir& dir) {
  const auto out = dir / "probe.txt";
  test::Shell("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels,bit_rate "
              "-of csv=p=0 '" + mp3.string() + "' > '" + out.string() + "'");
  std::string text = test::ReadText(out);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

class Mp3SinkLame : public testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveTool("ffmpeg") || !test::HaveTool("ffprobe")) VESK_MISSING_PART("ffmpeg missing");
  }
  test::ScratchDir dir;
};

TEST_F(Mp3SinkLame, EncodesAt192kbpsAndDecodesBackToTheRightLengthAndLevel) {
  const uint32_t rate = 44100;
  const size_t frames = rate * 2 + 500;  // not a whole number of blocks
  const auto samples = test::Sine(frames, 2, 1000, rate, 0.5);
  const auto path = dir / "tone.mp3";
  Mp3Sink sink;
  std::string error;
  ASSERT_TRUE(sink.Open(path, AudioFormat{rate, 2, 16}, 192, error)) << error;
  EXPECT_EQ(sink.ActualBitrateKbps(), 192);
  ASSERT_TRUE(sink.Write(samples.data(), samples.size(), error)) << error;
  EXPECT_EQ(sink.PendingSamples(), (frames % 1152) * 2);
  ASSERT_TRUE(sink.Close(error));
  EXPECT_EQ(uint64_t(std::filesystem::file_size(path)), sink.BytesWritten());

  const std::string head = test::ReadText(path).substr(0, 2);
  EXPECT_EQ(uint8_t(head[0]), 0xFF);  // raw MPEG frames, no tag in front
  EXPECT_EQ(uint8_t(head[1]) & 0xE0, 0xE0);
  EXPECT_EQ(Probe(path, dir), "mp3,44100,2,192000");

  const std::vector<float> decoded = Decode(path, dir);
  const size_t decodedFrames = decoded.size() / 2;
  // Everything written comes out, delayed by the encoder; the three padding
  // blocks bound what is added after it.
  const size_t fedFrames = frames / 1152 * 1152 + 3 * 1152;
  EXPECT_GE(decodedFrames, frames + 576);
  EXPECT_LE(decodedFrames, fedFrames + 1152);
  double sum = 0;
  for (size_t f = 4096; f < frames - 4096; ++f) sum += double(decoded[2 * f]) * decoded[2 * f];
  EXPECT_NEAR(std::sqrt(sum / double(frames - 8192)), 0.5 / std::sqrt(2.0), 0.02);  // LAME itself (through ffmpeg) gives 0.343
}

struct RateCase {
  uint32_t rate;
  uint16_t channels;
  uint32_t request;
  int32_t actual;
};
void PrintTo(const RateCase& c, std::ostream* os) { *os << c.rate << "Hz " << c.channels << "ch " << c.request << "kbps"; }

class Mp3SinkRates : public Mp3SinkLame, public testing::WithParamInterface<RateCase> {};

TEST_P(Mp3SinkRates, WritesAStreamOfTheChosenType) {
  const RateCase& c = GetParam();
  const auto path = dir / "rate.mp3";
  Mp3Sink sink;
  std::string error;
  ASSERT_TRUE(sink.Open(path, AudioFormat{c.rate, c.channels, 16}, c.request, error)) << error;
  EXPECT_EQ(sink.ActualBitrateKbps(), c.actual);
  const auto samples = test::Sine(c.rate / 2, c.channels, 440, c.rate, 0.3);
  ASSERT_TRUE(sink.Write(samples.data(), samples.size(), error)) << error;
  sink.Close(error);
  EXPECT_EQ(Probe(path, dir), "mp3," + std::to_string(c.rate) + "," + std::to_string(c.channels) + "," +
                                  std::to_string(c.actual * 1000));
}

INSTANTIATE_TEST_SUITE_P(Types, Mp3SinkRates,
                         testing::Values(RateCase{48000, 1, 128, 128}, RateCase{32000, 2, 320, 320},
                                         RateCase{22050, 2, 192, 160}, RateCase{16000, 1, 100, 96},
                                         RateCase{11025, 1, 128, 64}, RateCase{8000, 2, 256, 64}));

TEST_F(Mp3SinkLame, RefusesAnImpossibleRateWithTheMessageAndCreatesNoFile) {
  const std::pair<uint32_t, uint16_t> cases[] = {{11000, 1}, {96000, 2}, {44100, 3}};
  for (const auto& [rate, channels] : cases) {
    Mp3Sink sink;
    std::string error;
    EXPECT_FALSE(sink.Open(dir / "x.mp3", AudioFormat{rate, channels, 16}, 128, error));
    EXPECT_EQ(error, "系统 MP3 编码器不支持 " + std::to_string(rate) + " Hz / " + std::to_string(channels) +
                         " 声道 这个组合（它能做的采样率是 8000~48000 中的若干档）。\n请把声道改成另一种，或改用 WAV 录制。");
    EXPECT_FALSE(std::filesystem::exists(dir / "x.mp3"));
    // A sink that never opened ignores writes and closes cleanly.
    const float s[2] = {0.1f, 0.1f};
    EXPECT_TRUE(sink.Write(s, 2, error));
    EXPECT_TRUE(sink.Close(error));
    EXPECT_EQ(sink.BytesWritten(), 0u);
  }
}

TEST_F(Mp3SinkLame, HundredFramesStillGiveADecodableFile) {
  const auto path = dir / "short.mp3";
  std::string error;
  ASSERT_TRUE(WriteMp3File(path, AudioFormat{44100, 2, 16}, test::Sine(100, 2, 440, 44100, 0.5), 128, error)) << error;
  EXPECT_GT(std::filesystem::file_size(path), 400u);
  EXPECT_GE(Decode(path, dir).size() / 2, 100u);
}

TEST_F(Mp3SinkLame, TwoBlocksInOneWriteLeaveNothingPendingAndCloseTwiceIsHarmless) {
  const auto path = dir / "blocks.mp3";
  Mp3Sink sink;
  std::string error;
  ASSERT_TRUE(sink.Open(path, AudioFormat{48000, 2, 16}, 192, error)) << error;
  const auto samples = test::Sine(2 * 1152, 2, 440, 48000, 0.5);
  ASSERT_TRUE(sink.Write(samples.data(), samples.size(), error));
  EXPECT_EQ(sink.PendingSamples(), 0u);
  ASSERT_TRUE(sink.Write(samples.data(), 7, error));
  EXPECT_EQ(sink.PendingSamples(), 7u);
  EXPECT_TRUE(sink.Close(error));
  const uint64_t bytes = sink.BytesWritten();
  EXPECT_GT(bytes, 0u);
  EXPECT_TRUE(sink.Close(error));
  EXPECT_TRUE(sink.Write(samples.data(), samples.size(), error));
  EXPECT_EQ(sink.BytesWritten(), bytes);
  EXPECT_EQ(uint64_t(std::filesystem::file_size(path)), bytes);
}

TEST_F(Mp3SinkLame, CancelledExportStopsAndKeepsWhatWasEncoded) {
  const auto path = dir / "cancel.mp3";
  std::string error = "stale";
  int calls = 0;
  EXPECT_FALSE(WriteMp3File(path, AudioFormat{44100, 1, 16}, test::Sine(44100 * 3, 1, 440, 44100, 0.5), 128, error,
                            [&](uint64_t, uint64_t) { return ++calls < 2; }));
  EXPECT_EQ(error, "");
  EXPECT_EQ(calls, 2);
  EXPECT_GT(std::filesystem::file_size(path), 0u);
}

}  // namespace
}  // namespace vesk
