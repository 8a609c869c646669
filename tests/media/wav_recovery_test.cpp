// Recovery of unsealed WAVs over a folder of real files: which files are
// repaired, that only the two size fields change, and which are left alone.
#include <gtest/gtest.h>

#include <algorithm>

#include "media/wav_format.h"
#include "media/wav_recovery.h"
#include "media/wav_sink.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using test::Append16;
using test::Append32;
using test::AppendTag;

struct HeaderSpec {
  uint16_t tag = 1;
  uint16_t channels = 2;
  uint32_t rate = 48000;
  uint16_t bits = 16;
  uint32_t declaredData = 0;
  size_t payload = 400;
  bool listChunk = false;  // LIST between "fmt " and "data": not our layout
};

std::vector<uint8_t> BuildFile(const HeaderSpec& s) {
  std::vector<uint8_t> v;
  AppendTag(v, "RIFF");
  Append32(v, s.declaredData + 36);
  AppendTag(v, "WAVE");
  AppendTag(v, "fmt ");
  Append32(v, 16);
  Append16(v, s.tag);
  Append16(v, s.channels);
  Append32(v, s.rate);
  Append32(v, s.rate * s.channels * s.bits / 8);
  Append16(v, uint16_t(s.channels * s.bits / 8));
  Append16(v, s.bits);
  if (s.listChunk) {
    AppendTag(v, "LIST");
    Append32(v, 4);
    AppendTag(v, "INFO");
  }
  AppendTag(v, "data");
  Append32(v, s.declaredData);
  for (size_t i = 0; i < s.payload; ++i) v.push_back(uint8_t(i * 37));
  return v;
}

struct RepairCase {
  const char* name;
  HeaderSpec spec;
  bool repaired;
};

class RepairFile : public testing::TestWithParam<RepairCase> {};

TEST_P(RepairFile, ChangesOnlyTheSizeFieldsOfPlausibleUnsealedFiles) {
  const RepairCase c = GetParam();
  test::ScratchDir dir;
  const std::vector<uint8_t> before = BuildFile(c.spec);
  test::WriteBytes(dir / c.name, before);
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(RepairUnsealedWavs(dir.path(), &names), c.repaired ? 1 : 0);
  const std::string after = test::ReadText(dir / c.name);
  ASSERT_EQ(after.size(), before.size());
  std::vector<uint8_t> expected = before;
  if (c.repaired) {
    EXPECT_EQ(names, std::vector<std::string>{c.name});
    const uint32_t riff = uint32_t(before.size() - 8), data = uint32_t(before.size() - 44);
    for (int i = 0; i < 4; ++i) {
      expected[4 + i] = uint8_t(riff >> (8 * i));
      expected[40 + i] = uint8_t(data >> (8 * i));
    }
  } else {
    EXPECT_TRUE(names.empty());
  }
  EXPECT_EQ(after, std::string(expected.begin(), expected.end()));
}

HeaderSpec Spec(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t declared = 0,
                size_t payload = 400) {
  HeaderSpec s;
  s.tag = tag;
  s.channels = channels;
  s.rate = rate;
  s.bits = bits;
  s.declaredData = declared;
  s.payload = payload;
  return s;
}

HeaderSpec WithList() {
  HeaderSpec s;
  s.listChunk = true;
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Files, RepairFile,
    testing::Values(RepairCase{"zero.wav", Spec(1, 2, 48000, 16, 0), true},
                    RepairCase{"lagging.wav", Spec(3, 2, 48000, 32, 200), true},
                    RepairCase{"partial-frame.wav", Spec(1, 2, 44100, 24, 0, 401), true},
                    RepairCase{"small.wav", Spec(1, 1, 5000, 8, 0), true},
                    RepairCase{"top-rate.wav", Spec(1, 1, 384000, 16, 0), true},
                    RepairCase{"UPPER.WAV", Spec(1, 2, 48000, 16, 0), true},
                    RepairCase{"sealed.wav", Spec(1, 2, 48000, 16, 400), false},
                    RepairCase{"list.wav", WithList(), false},
                    RepairCase{"six.wav", Spec(1, 6, 48000, 16, 0), false},
                    RepairCase{"wide.wav", Spec(1, 2, 48000, 96, 0), false},
                    RepairCase{"slow.wav", Spec(1, 1, 3999, 16, 0), false},
                    RepairCase{"fast.wav", Spec(1, 1, 384001, 16, 0), false},
                    RepairCase{"adpcm.wav", Spec(2, 1, 8000, 16, 0), false},
                    RepairCase{"header-only.wav", Spec(1, 2, 48000, 16, 1000, 0), false},
                    RepairCase{"other.txt", Spec(1, 2, 48000, 16, 0), false}),
    [](const testing::TestParamInfo<RepairCase>& info) {
      std::string n = info.param.name;
      std::replace_if(n.begin(), n.end(), [](char ch) { return !std::isalnum(uint8_t(ch)); }, '_');
      return n;
    });

TEST(RepairUnsealedWavs, RepairsOnlyTheUnclosedRecordingAmongSealedOnes) {
  test::ScratchDir dir;
  const std::vector<float> second(2 * 48000 + 2 * 1000, 0.25f);  // 1 s refilled, 1000 frames beyond
  {
    WavSink sink;
    std::string error;
    ASSERT_TRUE(sink.Open(dir / "crashed.wav", AudioFormat{}, 0, error));
    ASSERT_TRUE(sink.Write(second.data(), second.size(), error));
    ASSERT_TRUE(sink.Write(second.data(), 2000, error));
  }  // destroyed without Close, as after a crash
  std::string error;
  ASSERT_TRUE(WriteWavFile(dir / "closed.wav", AudioFormat{}, second, error, 24));
  const std::string closed = test::ReadText(dir / "closed.wav");
  fs::create_directory(dir / "folder.wav");

  std::vector<std::string> names;
  EXPECT_EQ(RepairUnsealedWavs(dir.path(), &names), 1);
  EXPECT_EQ(names, std::vector<std::string>{"crashed.wav"});
  EXPECT_EQ(test::ReadText(dir / "closed.wav"), closed);
  const std::string repaired = test::ReadText(dir / "crashed.wav");
  const auto header = BuildWavHeader(AudioFormat{}, uint32_t(repaired.size() - 44));
  EXPECT_EQ(repaired.substr(0, 44), std::string(header.begin(), header.end()));
  EXPECT_EQ(RepairUnsealedWavs(dir.path(), &names), 0);
  EXPECT_TRUE(names.empty());
}

TEST(RepairUnsealedWavs, SkipsAFileThatIsBeingRecorded) {
  test::ScratchDir dir;
  WavSink sink;
  std::string error;
  ASSERT_TRUE(sink.Open(dir / "live.wav", AudioFormat{8000, 1, 16}, 0, error));
  const std::vector<float> in(12000, 0.1f);  // refilled at 1 s, half a second beyond
  ASSERT_TRUE(sink.Write(in.data(), in.size(), error));
  const std::string before = test::ReadText(dir / "live.wav");
  EXPECT_EQ(RepairUnsealedWavs(dir.path()), 0);
  EXPECT_EQ(test::ReadText(dir / "live.wav"), before);
  ASSERT_TRUE(sink.Write(in.data(), 10, error)) << "the sink keeps writing after the scan";
  ASSERT_TRUE(sink.Close(error));
  EXPECT_EQ(RepairUnsealedWavs(dir.path()), 0);
}

// An hour of audio must never be announced as a second: sizes that do not
// fit the 32-bit fields leave the file alone. Sparse files, so nothing is
// written but the header.
TEST(RepairUnsealedWavs, FileTooLargeForTheSizeFieldsIsLeftUntouched) {
  struct Case {
    uint64_t size;
    bool repaired;
  };
  for (const Case c : {Case{0xFFFFFFFFull + 8, true}, Case{0xFFFFFFFFull + 9, false}, Case{(5ull << 30) + 4, false}}) {
    test::ScratchDir dir;
    const std::vector<uint8_t> head = BuildFile(Spec(1, 2, 48000, 16, 400, 0));
    test::WriteBytes(dir / "long.wav", head);
    fs::resize_file(dir / "long.wav", c.size);
    EXPECT_EQ(RepairUnsealedWavs(dir.path()), c.repaired ? 1 : 0) << c.size;
    std::vector<uint8_t> expected = head;
    if (c.repaired) {
      const uint32_t riff = uint32_t(c.size - 8), data = uint32_t(c.size - 44);
      for (int i = 0; i < 4; ++i) {
        expected[4 + i] = uint8_t(riff >> (8 * i));
        expected[40 + i] = uint8_t(data >> (8 * i));
      }
    }
    File f;
    ASSERT_TRUE(f.OpenRead(dir / "long.wav"));
    std::vector<uint8_t> got(head.size());
    ASSERT_EQ(f.Read(got.data(), got.size()), int64_t(got.size()));
    EXPECT_EQ(got, expected) << c.size;
    EXPECT_EQ(f.Size(), int64_t(c.size));
  }
}

TEST(RepairUnsealedWavs, MissingOrEmptyFolderGivesZero) {
  test::ScratchDir dir;
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(RepairUnsealedWavs(dir / "missing", &names), 0);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(RepairUnsealedWavs(dir.path(), &names), 0);
}

}  // namespace
}  // namespace vesk
