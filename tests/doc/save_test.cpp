// Saving the document as WAV: rates, depths, progress, cancel, failures, and
// the names the save command proposes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "doc/audio_doc.h"
#include "doc/doc_test_clips.h"
#include "doc/save_naming.h"
#include "media/wav_reader.h"
#include "media/wav_sink.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {

struct ReadBack {
  AudioFormat format;
  std::vector<float> samples;
  int bits = 0;
};

ReadBack Read(const std::filesystem::path& path) {
  ReadBack r;
  std::string error;
  bool riff = false;
  EXPECT_TRUE(ReadWavFile(path, r.format, r.samples, error, riff, &r.bits)) << error;
  return r;
}

std::vector<std::string> FolderEntries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct DepthCase {
  const char* name;
  const AudioFormat* requested;
  int bitsOnDisk;
};
void PrintTo(const DepthCase& c, std::ostream* os) { *os << c.name; }
const AudioFormat k24{0, 2, 24};
const AudioFormat k32{0, 2, 32};
const AudioFormat k8{0, 2, 8};

class SaveWavDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(SaveWavDepth, WritesTheRequestedDepthOr16) {
  test::ScratchDir dir;
  AudioDoc doc;
  test::AdoptClip(doc, test::Sine(4800, 2, 440, 48000, 0.5, 1.0));
  std::string error;
  ASSERT_TRUE(doc.Save(dir / "out.wav", false, 0, error, GetParam().requested)) << error;
  const ReadBack r = Read(dir / "out.wav");
  EXPECT_EQ(r.bits, GetParam().bitsOnDisk);
  EXPECT_EQ(r.format.sampleRate, 48000u);
  EXPECT_EQ(r.samples.size(), doc.CopySamples().size());
}

INSTANTIATE_TEST_SUITE_P(Depths, SaveWavDepth,
                         testing::Values(DepthCase{"none_given", nullptr, 16}, DepthCase{"bits24", &k24, 24},
                                         DepthCase{"float32", &k32, 32}, DepthCase{"bits8", &k8, 16}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SaveWav, FollowingTheSourceDepthGives24ForAnUnknownSource) {
  struct Case {
    uint16_t sourceBits;
    int menuBits;
    int onDisk;
  };
  for (const Case c : {Case{24, 0, 24}, Case{8, 0, 16}, Case{0, 0, 24}, Case{16, 0, 16}, Case{24, 32, 32}}) {
    test::ScratchDir dir;
    AudioDoc doc;
    test::AdoptClip(doc, test::Sine(480, 2, 440, 48000, 0.5, 1.0), 48000, 2, c.sourceBits);
    const AudioFormat requested{0, 2, uint16_t(WavExportBits(c.menuBits, doc.SourceBits()))};
    std::string error;
    ASSERT_TRUE(doc.Save(dir / "out.wav", false, 0, error, &requested)) << error;
    EXPECT_EQ(Read(dir / "out.wav").bits, c.onDisk) << "source " << c.sourceBits << " menu " << c.menuBits;
  }
}

TEST(SaveWav, ResamplesDenoisesAndReportsRisingProgress) {
  test::ScratchDir dir;
  AudioDoc doc;
  test::AdoptClip(doc, test::Sine(96000, 2, 440, 96000, 0.5, 1.0), 96000);
  const std::vector<float> original = doc.CopySamples();
  const uint64_t revision = doc.Revision();
  std::vector<std::pair<int, std::string>> steps;
  uint32_t denoiseRate = 0;
  const DenoiseCallback halve = [&](const SampleSource& in, uint32_t rate, SampleSequence& out) {
    denoiseRate = rate;
    std::vector<float> s(in.Frames() * in.Channels());
    ReadFrames(in, 0, in.Frames(), in.Channels(), s.data());
    for (float& x : s) x *= 0.5f;
    out = SampleSequence(std::move(s), in.Channels());
    return true;
  };
  const AudioFormat requested{48000, 2, 32};
  std::string error;
  ASSERT_TRUE(doc.Save(dir / "out.wav", false, 0, error, &requested, halve, [&](int p, const std::string& stage) {
    steps.emplace_back(p, stage);
    return true;
  })) << error;
  EXPECT_EQ(denoiseRate, 48000u);
  ASSERT_GE(steps.size(), 4u);
  EXPECT_EQ(steps[0], (std::pair<int, std::string>{3, "正在转换采样率…"}));
  EXPECT_EQ(steps[1], (std::pair<int, std::string>{15, "正在跑降噪…"}));
  EXPECT_EQ(steps[2], (std::pair<int, std::string>{45, "正在写入 WAV…"}));
  EXPECT_EQ(steps.back().first, 100);
  for (size_t i = 1; i < steps.size(); ++i) EXPECT_LE(steps[i - 1].first, steps[i].first);

  const ReadBack r = Read(dir / "out.wav");
  EXPECT_EQ(r.format.sampleRate, 48000u);
  EXPECT_NEAR(double(r.samples.size()) / 2, 48000, 2);
  float peak = 0;
  for (float x : r.samples) peak = std::max(peak, std::fabs(x));
  EXPECT_NEAR(peak, 0.25f, 0.01f);
  EXPECT_EQ(doc.CopySamples(), original);  // the document keeps its own audio and rate
  EXPECT_EQ(doc.Format().sampleRate, 96000u);
  EXPECT_EQ(doc.Revision(), revision);
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.DisplayName(), "out.wav");
  EXPECT_EQ(doc.SourcePath(), dir / "out.wav");
}

// Cancel at each stage: nothing is written, an existing file keeps its bytes,
// the document stays as it was.
class SaveCancel : public testing::TestWithParam<int> {};

TEST_P(SaveCancel, LeavesTheTargetAndTheDocumentUntouched) {
  const int cancelAt = GetParam();
  test::ScratchDir dir;
  AudioDoc doc;
  test::AdoptClip(doc, test::Sine(96000 * 3, 2, 440, 96000, 0.5, 1.0), 96000, 2, 16, "/clips/take.wav");
  doc.SetSelection(0, 10);
  std::string error;
  ASSERT_TRUE(doc.SilenceSelection(error));
  const uint64_t revision = doc.Revision();

  for (const bool existing : {false, true}) {
    const auto target = dir / (existing ? "old.wav" : "new.wav");
    if (existing) test::WriteBytes(target, {'o', 'l', 'd'});
    const AudioFormat requested{48000, 2, 16};
    error = "stale";
    const bool ok = doc.Save(target, false, 0, error, &requested, [](const SampleSource& in, uint32_t, SampleSequence& out) {
                               out = SampleSequence(std::vector<float>(in.Frames() * in.Channels()), in.Channels());
                               return true;
                             },
                             [&](int p, const std::string&) { return p < cancelAt; });
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "");
    if (existing) EXPECT_EQ(test::ReadText(target), "old");
    else EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(doc.Revision(), revision);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.DisplayName(), "take.wav");
  }
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"old.wav"});  // no staging left behind
}

INSTANTIATE_TEST_SUITE_P(Stages, SaveCancel, testing::Values(3, 15, 45, 46, 80, 100));

TEST(SaveWav, FailuresKeepTheDocumentAndSayWhy) {
  test::ScratchDir dir;
  AudioDoc doc;
  std::string error;
  EXPECT_FALSE(doc.Save(dir / "a.wav", false, 0, error));
  EXPECT_EQ(error, "没有内容可保存。");

  test::AdoptClip(doc, test::Sine(480, 2, 440, 48000, 0.5, 1.0));
  EXPECT_FALSE(doc.Save(dir / "missing" / "a.wav", false, 0, error));
  EXPECT_EQ(error, "无法创建输出文件（路径可能不存在或没有写权限）。");

  EXPECT_FALSE(doc.Save(dir / "b.wav", false, 0, error, nullptr, [](const SampleSource&, uint32_t, SampleSequence&) { return false; }));
  EXPECT_EQ(error, "降噪处理失败，没有写出文件。");
  std::string engineError;
  const DenoiseCallback failing = [&](const SampleSource&, uint32_t, SampleSequence&) {
    error = "插件出错";  // the engine writes into the caller's text
    return false;
  };
  EXPECT_FALSE(doc.Save(dir / "b.wav", false, 0, error, nullptr, failing));
  EXPECT_EQ(error, "插件出错");
  EXPECT_EQ(doc.SourcePath(), "/clips/take.wav");
  EXPECT_TRUE(FolderEntries(dir.path()).empty());
}

TEST(SaveWav, ReplacesAnExistingFileOnSuccess) {
  test::ScratchDir dir;
  test::WriteBytes(dir / "take.wav", {'o', 'l', 'd'});
  AudioDoc doc;
  test::AdoptClip(doc, test::Sine(4800, 1, 440, 48000, 0.5, 1.0), 48000, 1);
  std::string error;
  ASSERT_TRUE(doc.Save(dir / "take.wav", false, 0, error)) << error;
  EXPECT_EQ(Read(dir / "take.wav").samples.size(), 4800u);
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"take.wav"});
}

// Past one WAV file's limit the save keeps every segment under the target's
// segment names; together they hold the whole document.
TEST(SaveWav, DataPastTheSegmentLimitLandsInNumberedFilesBesideTheTarget) {
  struct Case {
    int bits;
    uint64_t threshold;
    size_t files;
  };
  for (const Case c : {Case{16, 40000, 1}, Case{16, 4000, 5}, Case{24, 6000, 5}, Case{32, 38400, 1}, Case{32, 8000, 5}}) {
    const uint64_t old = SetSegmentThreshold(c.threshold);
    test::ScratchDir dir;
    AudioDoc doc;
    test::AdoptClip(doc, test::Sine(4800, 2, 440, 48000, 0.5, 1.0));
    const AudioFormat requested{0, 2, uint16_t(c.bits)};
    std::string error;
    std::vector<std::filesystem::path> files;
    const bool saved = doc.Save(dir / "out.wav", false, 0, error, &requested, {}, {}, &files);
    SetSegmentThreshold(old);
    ASSERT_TRUE(saved) << error;
    ASSERT_EQ(files.size(), c.files) << c.bits << " bit";
    std::vector<float> joined;
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(files[i], i == 0 ? dir / "out.wav" : SegmentPath(dir / "out.wav", uint32_t(i)));
      const ReadBack r = Read(files[i]);
      EXPECT_EQ(r.bits, c.bits);
      joined.insert(joined.end(), r.samples.begin(), r.samples.end());
    }
    const std::vector<float> samples = doc.CopySamples();
    ASSERT_EQ(joined.size(), samples.size()) << c.bits << " bit";
    for (size_t i = 0; i < joined.size(); ++i) ASSERT_NEAR(joined[i], samples[i], 1.0 / 32000) << i;
    EXPECT_EQ(FolderEntries(dir.path()).size(), c.files) << "no staging folder is left";
  }
}

TEST(SaveNaming, FileSizesUseBinaryUnits) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0 B"},           {1023, "1023 B"},          {1024, "1.0 KB"},      {1536, "1.5 KB"},
      {1048575, "1024.0 KB"}, {1048576, "1.0 MB"},    {5u << 20, "5.0 MB"},  {1073741824ull, "1.00 GB"},
      {5368709120ull, "5.00 GB"}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatFileSize(bytes), text) << bytes;
}

TEST(SaveNaming, ProposedStemEndsInTheClipSuffixOnce) {
  const LocalTime t{2024, 3, 7, 9, 5, 2};
  const std::pair<const char*, const char*> cases[] = {
      {"take.wav", "take_剪辑"},        {"take_剪辑.mp3", "take_剪辑"}, {"take_剪辑", "take_剪辑"},
      {"a.b.wav", "a.b_剪辑"},          {"", "[VESK]20240307 09-05-02_剪辑"},
      {".wav", "[VESK]20240307 09-05-02_剪辑"}, {"会议录音.m4a", "会议录音_剪辑"}};
  for (const auto& [name, stem] : cases) EXPECT_EQ(ProposedSaveStem(name, t), stem) << name;
}

TEST(SaveNaming, ProposedPathCountsUpPastExistingFiles) {
  test::ScratchDir dir;
  const std::string stem = "take_剪辑";
  EXPECT_EQ(ProposedSavePath(dir.path(), stem, false), dir.path() / PathFromUtf8("take_剪辑.wav"));
  test::WriteBytes(dir.path() / PathFromUtf8("take_剪辑.wav"), {});
  EXPECT_EQ(ProposedSavePath(dir.path(), stem, false), dir.path() / PathFromUtf8("take_剪辑2.wav"));
  EXPECT_EQ(ProposedSavePath(dir.path(), stem, true), dir.path() / PathFromUtf8("take_剪辑.mp3"));
  test::WriteBytes(dir.path() / PathFromUtf8("take_剪辑2.wav"), {});
  EXPECT_EQ(ProposedSavePath(dir.path(), stem, false), dir.path() / PathFromUtf8("take_剪辑3.wav"));
}

TEST(SaveNaming, FolderPrefersLastSaveThenSourceThenOutput) {
  EXPECT_EQ(ProposedSaveFolder("/last", "/src/take.wav", "/out"), "/last");
  EXPECT_EQ(ProposedSaveFolder("", "/src/take.wav", "/out"), "/src");
  EXPECT_EQ(ProposedSaveFolder("", "", "/out"), "/out");
}

}  // namespace
}  // namespace vesk
