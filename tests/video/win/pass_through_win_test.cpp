// The Media Foundation pass-through under the system this runs on: inputs it
// must refuse with the user's message and without leaving an output file,
// and the PCM the encoder is fed.
#include <gtest/gtest.h>

#include "media/wav_sink.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "video/media_probe.h"
#include "video/pass_through.h"
#include "video/probe_stages.h"
#include "video/win/pcm_chunk.h"

namespace vesk {
namespace {

constexpr char kCannotOpen[] = "这个文件打不开（不是认识的视频，或缺解码器）。";
constexpr char kNoPicture[] = "这个文件里没有画面（是纯音频），导出音频就行。";

struct RefusalCase {
  const char* name;
  const char* message;
};

class PassThroughWinRefusal : public testing::TestWithParam<RefusalCase> {
 protected:
  // Makes the named input in `dir`; "missing" stays absent.
  std::filesystem::path MakeInput(const std::string& name) {
    if (name == "missing") return dir / "missing.mp4";
    if (name == "text") {
      const std::string text = "这不是视频，只是一段文字。\n";
      test::WriteBytes(dir / "notes.mp4", std::vector<uint8_t>(text.begin(), text.end()));
      return dir / "notes.mp4";
    }
    const auto wav = dir / "tone.wav";
    std::vector<float> tone(48000 * 2);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = (i / 2 % 48) < 24 ? 0.3f : -0.3f;
    std::string error;
    EXPECT_TRUE(WriteWavFile(wav, AudioFormat{48000, 2, 16}, tone, error, 16)) << error;
    return wav;
  }
  test::ScratchDir dir;
};

TEST_P(PassThroughWinRefusal, ExportFailsWithTheMessageAndLeavesNoOutput) {
  const auto source = MakeInput(GetParam().name);
  const auto output = dir / "out.mp4";
  // The source reader (Windows) or, where it opens nothing (Wine without its
  // GStreamer plugins), the FFmpeg libraries open a WAV and find no picture.
  SystemProbeInfo system;
  const bool systemOpened = SystemReaderProbe(source, system);
  EXPECT_FALSE(system.hasVideo);
  const std::string expected = GetParam().message;
  if (systemOpened && expected == kNoPicture) {
    EXPECT_NEAR(system.duration, 1.0, 0.01);
  }

  const std::vector<float> samples(48000 * 2, 0.2f);
  std::string error;
  double duration = -1;
  EXPECT_FALSE(ExportVideoPassThrough(source, samples, AudioFormat{48000, 2, 16}, {}, output, error, &duration));
  EXPECT_EQ(error, expected);
  EXPECT_EQ(duration, 0);
  EXPECT_FALSE(std::filesystem::exists(output));

  // The probe alone tells the same story: no picture, or nothing opened it.
  VideoProbeResult probe;
  std::string probeError;
  const bool probed = ProbeVideo(source, probe, probeError, {});
  EXPECT_FALSE(probe.hasVideo);
  EXPECT_FALSE(probe.canExport);
  EXPECT_EQ(probed, probeError.empty());
  if (!probed) {
    EXPECT_EQ(probeError, kCannotOpen);
  }
}

INSTANTIATE_TEST_SUITE_P(Inputs, PassThroughWinRefusal,
                         testing::Values(RefusalCase{"missing", kCannotOpen}, RefusalCase{"text", kCannotOpen},
                                         RefusalCase{"wav", kNoPicture}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PcmCase {
  const char* name;
  uint32_t bits;
  uint32_t align;              // bytes per frame the encoder asks for (2 channels)
  std::vector<uint8_t> first;  // bytes of frame 0: +1.5 (clamped) and -0.5
};

class PcmChunk : public testing::TestWithParam<PcmCase> {};

TEST_P(PcmChunk, ValuesAreClampedRoundedLittleEndianAndPaddedWithZeros) {
  const PcmCase& c = GetParam();
  const std::vector<float> samples = {1.5f, -0.5f, 0.0f, -2.0f};  // two real frames
  std::vector<uint8_t> out;
  FillPcmChunk(samples, 2, 0, 3, c.bits, c.align, out);  // the third frame lies past the end
  ASSERT_EQ(out.size(), size_t(3) * c.align);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + std::ptrdiff_t(c.first.size())), c.first);
  const uint32_t bytes = c.bits / 8;
  // Frame 1: 0 and -2.0 clamped to -1.0 (the negative full scale).
  const uint8_t* frame1 = out.data() + c.align;
  for (uint32_t b = 0; b < bytes; ++b) EXPECT_EQ(frame1[b], 0) << b;
  int64_t negative = 0;
  for (uint32_t b = 0; b < bytes; ++b) negative |= int64_t(frame1[bytes + b]) << (8 * b);
  negative -= int64_t(1) << (8 * bytes);
  EXPECT_EQ(negative, c.bits == 16 ? -32767 : c.bits == 24 ? -8388607 : -2147483520LL);
  for (size_t i = size_t(2) * c.align; i < out.size(); ++i) EXPECT_EQ(out[i], 0) << "padding byte " << i;

  // A chunk that starts past the real audio is all silence.
  FillPcmChunk(samples, 2, 5, 2, c.bits, c.align, out);
  EXPECT_EQ(out, std::vector<uint8_t>(size_t(2) * c.align, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Depths, PcmChunk,
    testing::Values(PcmCase{"Int16", 16, 4, {0xFF, 0x7F, 0x00, 0xC0}},              // 32767, -16384 (rounded)
                    PcmCase{"Int24", 24, 6, {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0xC0}},  // 8388607, -4194304
                    PcmCase{
                        "Int32", 32, 8, {0x80, 0xFF, 0xFF, 0x7F, 0x40, 0x00, 0x00, 0xC0}},  // 2147483520, -1073741760
                    PcmCase{"Int16WideFrames", 16, 8, {0xFF, 0x7F, 0x00, 0xC0, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vesk
