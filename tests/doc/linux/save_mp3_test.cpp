// Saving as MP3 (LAME here) and following the source depth of real WAV files
// made by sox; the undo budget switch.
#include <gtest/gtest.h>

#include <cstdlib>

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
    EXPECT_EQ(samples.size(), doc.Samples().size());
  }
}

class UndoBudgetOverride : public testing::Test {
 protected:
  void TearDown() override { unsetenv("VESK_UNDO_BUDGET_MB"); }
};

TEST_F(UndoBudgetOverride, OneMebibyteMakesALargerEditUndoable) {
  setenv("VESK_UNDO_BUDGET_MB", "1", 1);
  EXPECT_EQ(GetUndoBudget(), 1048576u);
  AudioDoc doc;
  test::AdoptClip(doc, test::Sine(48000 * 3, 2, 440, 48000, 0.5, 1.0));  // 1.1 MiB
  doc.SetSelection(0, 1000);
  std::string error;
  ASSERT_TRUE(doc.SilenceSelection(error));
  EXPECT_EQ(error, "片段过大，本次操作不可撤销。");
  EXPECT_EQ(doc.UndoCount(), 0u);
  EXPECT_FALSE(doc.Undo());
  EXPECT_EQ(doc.Samples()[0], 0.0f);  // the edit itself went ahead

  // Smaller clips evict the oldest snapshots to stay within the budget.
  test::AdoptClip(doc, test::Sine(48000, 2, 440, 48000, 0.5, 1.0));  // 375 KiB
  for (int i = 0; i < 4; ++i) {
    doc.SetSelection(0, 10);
    ASSERT_TRUE(doc.SilenceSelection(error));
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
