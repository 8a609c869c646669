// The WAV reader against files written by sox and the ffmpeg program, compared
// sample by sample with what ffmpeg itself decodes to 32-bit float; the WAV
// writer's plain and RF64 files as ffmpeg reads them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "media/wav_reader.h"
#include "media/wav_sink.h"
#include "platform/memory.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {

struct ToolCase {
  const char* name;
  const char* make;  // shell command writing $OUT
  uint32_t rate;
  uint16_t channels;  // channels the reader returns
  int sourceBits;
};

// Every channel as it is (no down-mix), like the reader.
std::vector<float> DecodeWithFfmpeg(const std::filesystem::path& in, const test::ScratchDir& dir) {
  const auto out = dir / "ref.f32";
  const std::string cmd = "ffmpeg -v error -y -i '" + in.string() + "' -f f32le '" + out.string() + "'";
  if (test::Shell(cmd) != 0) return {};
  const std::string bytes = test::ReadText(out);
  std::vector<float> v(bytes.size() / 4);
  std::memcpy(v.data(), bytes.data(), v.size() * 4);
  return v;
}

class WavReaderTools : public testing::TestWithParam<ToolCase> {};

TEST_P(WavReaderTools, MatchesFfmpegDecodeSampleForSample) {
  if (!test::HaveTool("ffmpeg") || !test::HaveTool("sox")) VESK_MISSING_PART("ffmpeg or sox missing");
  const ToolCase& c = GetParam();
  test::ScratchDir dir;
  const auto file = dir / "in.wav";
  ASSERT_EQ(test::Shell("OUT='" + file.string() + "'; " + c.make), 0) << c.make;

  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  bool riff = false;
  int bits = 0;
  ASSERT_TRUE(ReadWavFile(file, format, samples, error, riff, &bits)) << error;
  EXPECT_EQ(format, (AudioFormat{c.rate, c.channels, 16}));
  EXPECT_EQ(bits, c.sourceBits);

  const std::vector<float> reference = DecodeWithFfmpeg(file, dir);
  ASSERT_EQ(samples.size(), reference.size());
  ASSERT_GT(samples.size(), 1000u);
  size_t mismatches = 0;
  for (size_t i = 0; i < samples.size(); ++i)
    if (std::fabs(samples[i] - reference[i]) > 1e-6f && mismatches++ < 5)
      ADD_FAILURE() << "sample " << i << ": " << samples[i] << " vs " << reference[i];
  EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WavReaderTools,
    testing::Values(
        ToolCase{"sox_pcm16_stereo", "sox -n -r 44100 -c 2 -b 16 \"$OUT\" synth 0.5 sine 440 sine 660 vol 0.8", 44100, 2, 16},
        ToolCase{"sox_pcm24_mono", "sox -n -r 48000 -c 1 -b 24 \"$OUT\" synth 0.5 sine 1000 vol 0.9", 48000, 1, 24},
        ToolCase{"sox_pcm32_int", "sox -n -r 32000 -c 2 -e signed-integer -b 32 \"$OUT\" synth 0.5 sine 300 vol 0.7", 32000, 2, 32},
        ToolCase{"sox_float", "sox -n -r 96000 -c 2 -e floating-point -b 32 \"$OUT\" synth 0.5 sine 5000 vol 0.6", 96000, 2, 32},
        ToolCase{"sox_u8", "sox -n -r 8000 -c 1 -e unsigned-integer -b 8 \"$OUT\" synth 0.5 sine 400 vol 0.5", 8000, 1, 8},
        ToolCase{"ffmpeg_six_channels_extensible",
                 "ffmpeg -v error -f lavfi -i 'sine=f=440:d=0.5,pan=5.1|c0=c0|c1=0.5*c0|c2=0.25*c0|c3=0.1*c0|c4=0.3*c0|c5=0.6*c0' -c:a pcm_s16le \"$OUT\"",
                 44100, 6, 16},
        ToolCase{"ffmpeg_list_chunk_before_data",
                 "ffmpeg -v error -f lavfi -i 'sine=f=700:d=0.5' -metadata title=Probe -metadata artist=Vesk -c:a pcm_s16le \"$OUT\"",
                 44100, 1, 16},
        ToolCase{"ffmpeg_float_extensible_stereo",
                 "ffmpeg -v error -f lavfi -i 'sine=f=250:d=0.5:sample_rate=48000' -ac 2 -c:a pcm_f32le -rf64 never \"$OUT\"",
                 48000, 2, 32}),
    [](const testing::TestParamInfo<ToolCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

// A file that decodes to more than the memory available now is refused
// before anything is committed: where memory is overcommitted the process
// would otherwise be killed while filling the buffer. A sparse file, so
// nothing is written.
TEST(WavReaderMemory, AFileLargerThanTheAvailableMemoryIsRefusedUpFront) {
  uint64_t available = 0;
  ASSERT_TRUE(AvailablePhysicalMemory(available));
  test::ScratchDir dir;
  const auto path = dir / "huge.wav";
  // 16-bit mono with an open-ended data chunk: every 2 bytes become 4.
  std::vector<uint8_t> head;
  test::AppendTag(head, "RIFF");
  test::Append32(head, 0xFFFFFFFFu);
  test::AppendTag(head, "WAVE");
  test::AppendTag(head, "fmt ");
  test::Append32(head, 16);
  test::Append16(head, 1);
  test::Append16(head, 1);
  test::Append32(head, 48000);
  test::Append32(head, 96000);
  test::Append16(head, 2);
  test::Append16(head, 16);
  test::AppendTag(head, "data");
  test::Append32(head, 0xFFFFFFFFu);
  test::WriteBytes(path, head);
  std::filesystem::resize_file(path, available / 2 + (uint64_t(1) << 30));
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  bool riff = false;
  EXPECT_FALSE(ReadWavFile(path, format, samples, error, riff));
  EXPECT_EQ(error.rfind("内存不足", 0), 0u) << error;
  EXPECT_EQ(samples.capacity(), 0u);
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

// What the writer produces, plain and RF64 (the video export's temporary
// audio), is read by the ffmpeg program with every channel under its
// speaker layout and every sample as written.
TEST(WavWriterTools, FfmpegReadsPlainAndRf64FilesWithTheirLayout) {
  if (!test::HaveTool("ffmpeg") || !test::HaveTool("ffprobe")) VESK_MISSING_PART("ffmpeg or ffprobe missing");
  struct Case {
    uint16_t channels, bits;
    bool rf64;
    uint64_t header;
    const char* probe;  // how ffprobe's "channels,layout" starts
  } cases[] = {
      // The canonical two-channel header names no speakers.
      {2, 16, false, 44, "2,"},     {6, 24, false, 68, "6,5.1"},  {2, 32, true, 80, "2,"},
      {6, 32, true, 104, "6,5.1"},  {8, 32, true, 104, "8,7.1"},  {4, 32, true, 104, "4,quad"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.channels) + (c.rf64 ? " RF64" : " WAV"));
    test::ScratchDir dir;
    const auto file = dir / "out.wav";
    const AudioFormat format{48000, c.channels, c.bits};
    // Channel k of frame f: a ramp of its own slope, so a swapped or lost
    // channel shows.
    const size_t frames = 4800;
    std::vector<float> samples(frames * c.channels);
    for (size_t f = 0; f < frames; ++f)
      for (size_t k = 0; k < c.channels; ++k)
        samples[f * c.channels + k] = float(int(f % 200) - 100) / 128.0f * float(k + 1) / float(c.channels + 1);
    std::string error;
    ASSERT_TRUE(WriteWavFile(file, format, samples, error, c.bits, {}, c.rf64)) << error;
    EXPECT_EQ(std::filesystem::file_size(file), c.header + samples.size() * (c.bits / 8));

    const auto probe = dir / "probe.txt";
    test::Shell("ffprobe -v error -select_streams a:0 -show_entries stream=channels,channel_layout -of csv=p=0 '" +
                file.string() + "' > '" + probe.string() + "'");
    std::string layout = test::ReadText(probe);
    while (!layout.empty() && layout.back() == '\n') layout.pop_back();
    EXPECT_EQ(layout.rfind(c.probe, 0), 0u) << layout;

    const std::vector<float> decoded = DecodeWithFfmpeg(file, dir);
    ASSERT_EQ(decoded.size(), samples.size());
    const float step = c.bits == 32 ? 0.0f : 1.0f / float(1 << (c.bits - 1));
    size_t off = 0;
    for (size_t i = 0; i < samples.size(); ++i)
      if (std::fabs(decoded[i] - samples[i]) > step) ++off;
    EXPECT_EQ(off, 0u);
  }
}

}  // namespace
}  // namespace vesk
