// Saving as MP3 (LAME here) and following the source depth of real WAV files
// made by sox; a surround source made by ffmpeg; the undo budget switch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "doc/audio_doc.h"
#include "doc/doc_test_clips.h"
#include "doc/save_naming.h"
#include "media/wav_reader.h"
#include "support/test_support.h"

namespace vesk {
namespace {

std::string ProbeRate(const std::filesystem::path& file, const test::ScratchDir& dir) {
  const auto out = dir / "probe.txt";
  test::Shell("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 '" +
              file.string() + "' > '" + out.string() + "'");
  std::string text = test::ReadText(out);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

TEST(SaveMp3, WritesAnMpegRateOr48000) {
  if (!test::HaveTool("ffprobe")) VESK_MISSING_PART("ffprobe missing");
  struct Case {
    uint32_t docRate;
    uint32_t requested;
    const char* probe;
  };
  for (const Case c : {Case{96000, 0, "mp3,48000,2"}, Case{22050, 0, "mp3,22050,2"}, Case{44100, 32000, "mp3,32000,2"},
                       Case{48000, 44000, "mp3,48000,2"}}) {
    test::ScratchDir dir;
    AudioDoc doc;
    test::AdoptClip(doc, test::Sine(c.docRate / 2, 2, 440, c.docRate, 0.5, 1.0), c.docRate);
    const AudioFormat requested{c.requested, 2, 16};
    std::string error;
    std::vector<int> percents;
    ASSERT_TRUE(doc.Save(dir / "out.mp3", true, 192, error, &requested, {}, [&](int p, const std::string& stage) {
      if (p >= 45) {
        EXPECT_EQ(stage, "正在编码 MP3…");
      }
      percents.push_back(p);
      return true;
    })) << error;
    EXPECT_EQ(ProbeRate(dir / "out.mp3", dir), c.probe) << c.docRate << " " << c.requested;
    EXPECT_EQ(percents.back(), 100);
    EXPECT_FALSE(doc.IsModified());
  }
}

std::string ProbeLayout(const std::filesystem::path& file, const test::ScratchDir& dir) {
  const auto out = dir / "layout.txt";
  test::Shell("ffprobe -v error -select_streams a:0 -show_entries stream=channels,channel_layout -of csv=p=0 '" +
              file.string() + "' > '" + out.string() + "'");
  std::string text = test::ReadText(out);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// RMS per channel over the middle half of what the ffmpeg program decodes
// (clear of encoder delay and padding).
std::vector<double> DecodedRms(const std::filesystem::path& file, size_t channels, const test::ScratchDir& dir) {
  const auto raw = dir / "decoded.f32";
  test::Shell("ffmpeg -v error -y -i '" + file.string() + "' -f f32le '" + raw.string() + "'");
  const std::string bytes = test::ReadText(raw);
  std::vector<float> v(bytes.size() / 4);
  std::memcpy(v.data(), bytes.data(), v.size() * 4);
  const size_t frames = v.size() / channels;
  std::vector<double> rms(channels, 0.0);
  for (size_t f = frames / 4; f < frames * 3 / 4; ++f)
    for (size_t c = 0; c < channels; ++c) rms[c] += double(v[f * channels + c]) * v[f * channels + c];
  for (double& r : rms) r = std::sqrt(r / double(std::max<size_t>(frames / 2, 1)));
  return rms;
}

// A 5.1 source whose only sound is a tone in the centre, as dialogue often
// is, opened whole: its WAV keeps the six channels under the 5.1 speaker
// mask and reads back whole; its MP3 is the stereo fold, the centre at
// -3 dB over 1 + 2 * 0.707 per side.
TEST(SaveSurround, WavKeepsTheChannelsAndMp3IsTheFold) {
  if (!test::HaveTool("ffmpeg") || !test::HaveTool("ffprobe")) VESK_MISSING_PART("ffmpeg or ffprobe missing");
  const double centre = 0.125 / std::sqrt(2.0);  // the RMS of the lavfi sine
  const double folded = centre * 0.70710678 / (1 + 2 * 0.70710678);
  for (const char* source : {"src.m4a", "src.wav"}) {
    SCOPED_TRACE(source);
    test::ScratchDir dir;
    ASSERT_EQ(test::Shell(std::string("ffmpeg -v error -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 "
                                      "-af 'pan=5.1|FC=c0' -y '") + (dir / source).string() + "'"),
              0);
    AudioDoc doc;
    std::string error;
    ASSERT_TRUE(doc.Load(dir / source, error)) << error;
    ASSERT_EQ(doc.Format().channels, 6);

    ASSERT_TRUE(doc.Save(dir / "out.wav", false, 0, error)) << error;
    EXPECT_EQ(ProbeLayout(dir / "out.wav", dir), "6,5.1");
    const std::vector<double> wav = DecodedRms(dir / "out.wav", 6, dir);
    for (size_t c = 0; c < 6; ++c) EXPECT_NEAR(wav[c], c == 2 ? centre : 0.0, centre * 0.03) << "channel " << c;
    AudioDoc back;
    ASSERT_TRUE(back.Load(dir / "out.wav", error)) << error;
    EXPECT_EQ(back.Format().channels, 6);

    ASSERT_TRUE(doc.Save(dir / "out.mp3", true, 192, error)) << error;
    EXPECT_EQ(ProbeLayout(dir / "out.mp3", dir), "2,stereo");
    const std::vector<double> mp3 = DecodedRms(dir / "out.mp3", 2, dir);
    EXPECT_NEAR(mp3[0], folded, folded * 0.05);
    EXPECT_NEAR(mp3[1], folded, folded * 0.05);
  }
}

TEST(SaveWavFromSource, FollowsTheDepthOfARealSourceFile) {
  if (!test::HaveTool("sox")) VESK_MISSING_PART("sox missing");
  struct Case {
    const char* soxArgs;
    int onDisk;
  };
  for (const Case c : {Case{"-b 24", 24}, Case{"-e unsigned-integer -b 8", 16}, Case{"-b 16", 16},
                       Case{"-e floating-point -b 32", 32}}) {
    test::ScratchDir dir;
    const auto source = dir / "src.wav";
    ASSERT_EQ(test::Shell(std::string("sox -n -r 44100 -c 2 ") + c.soxArgs + " '" + source.string() +
                          "' synth 0.2 sine 440 vol 0.5"),
              0);
    AudioDoc doc;
    std::string error;
    ASSERT_TRUE(doc.Load(source, error)) << error;
    const AudioFormat requested{0, 2, uint16_t(WavExportBits(0, doc.SourceBits()))};
    ASSERT_TRUE(doc.Save(dir / "out.wav", false, 0, error, &requested)) << error;
    AudioFormat format;
    std::vector<float> samples;
    bool riff = false;
    int bits = 0;
    ASSERT_TRUE(ReadWavFile(dir / "out.wav", format, samples, error, riff, &bits));
    EXPECT_EQ(bits, c.onDisk) << c.soxArgs;
    EXPECT_EQ(samples.size(), doc.CopySamples().size());
  }
}

class UndoBudgetOverride : public testing::Test {
 protected:
  void TearDown() override { unsetenv("VESK_UNDO_BUDGET_MB"); }
};

TEST_F(UndoBudgetOverride, OnlyWhatAStateKeepsAloneCountsAgainstTheBudget) {
  setenv("VESK_UNDO_BUDGET_MB", "1", 1);
  EXPECT_EQ(GetUndoBudget(), 1048576u);
  AudioDoc doc;
  test::AdoptClip(doc, test::Sine(48000 * 3, 2, 440, 48000, 0.5, 1.0));  // 1.1 MiB
  std::string error;
  // A silence in a clip larger than the budget keeps the clip shared.
  doc.SetSelection(0, 1000);
  ASSERT_TRUE(doc.SilenceSelection(error));
  EXPECT_EQ(error, "");
  EXPECT_LT(doc.UndoBytes(), 65536u);
  // Rewriting all of it leaves the original to the undo state alone.
  std::vector<float> louder = doc.CopySamples();
  for (float& v : louder) v *= 1.5f;
  ASSERT_TRUE(doc.ReplaceRange(0, doc.Frames(), louder, error));
  EXPECT_EQ(error, "片段过大，本次操作不可撤销。");
  EXPECT_EQ(doc.UndoCount(), 0u);
  EXPECT_FALSE(doc.Undo());
  EXPECT_EQ(doc.CopySamples(), louder);  // the edit itself went ahead

  // Rewrites of a smaller clip evict the oldest states to stay within it.
  test::AdoptClip(doc, test::Sine(48000, 2, 440, 48000, 0.5, 1.0));  // 375 KiB
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(doc.ReplaceRange(0, doc.Frames(), doc.CopySamples(), error));
    EXPECT_EQ(error, "");
  }
  EXPECT_EQ(doc.UndoCount(), 2u);
  EXPECT_LE(doc.UndoBytes(), 1048576u);
}

TEST_F(UndoBudgetOverride, InvalidValuesFallBackToTheMemoryRule) {
  for (const char* value : {"0", "-5", "abc", "12x", ""}) {
    setenv("VESK_UNDO_BUDGET_MB", value, 1);
    const uint64_t budget = GetUndoBudget();
    EXPECT_GE(budget, 512ull << 20) << value;
    EXPECT_LE(budget, 4096ull << 20) << value;
  }
}

}  // namespace
}  // namespace vesk
