// Saves of more than 4 GiB of sample data, read back to the last sample:
// the segmented WAV save and the RF64 file the video export hands to
// ffmpeg. The buffer is zero pages the system maps lazily (calloc), so only
// the few marked pages take memory; the files (4.3 GB each, one at a time)
// live in a temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "doc/wav_save.h"
#include "media/wav_sink.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

constexpr size_t kCount = (size_t(1) << 30) + (size_t(1) << 24);  // 4.36 GB as 32-bit floats
// The whole-buffer writer hands the sink half-second blocks, and a block
// that would cross the limit starts the next file.
constexpr uint64_t kBlock = 24000 * 4;
constexpr uint64_t kFirstFile = kDefaultSegmentThreshold / kBlock * kBlock;  // bytes in the first file

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

float SampleAt(const fs::path& file, uint64_t offset) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(std::streamoff(offset));
  float v = 0;
  in.read(reinterpret_cast<char*>(&v), 4);
  EXPECT_TRUE(in.good()) << file << " @" << offset;
  return v;
}

uint32_t U32At(const fs::path& file, uint64_t offset) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(std::streamoff(offset));
  uint32_t v = 0;
  in.read(reinterpret_cast<char*>(&v), 4);
  return v;
}

struct FreeDeleter {
  void operator()(float* p) const { std::free(p); }
};

class LargeSave : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SegmentThreshold(), kDefaultSegmentThreshold);
    samples.reset(static_cast<float*>(std::calloc(kCount, sizeof(float))));
    ASSERT_TRUE(samples);
    samples[0] = 0.25f;
    samples[kFirstFile / 4 - 1] = 0.5f;  // last sample of the first file
    samples[kFirstFile / 4] = -0.5f;     // first sample of the second
    samples[kCount - 1] = -0.75f;
  }
  std::unique_ptr<float[], FreeDeleter> samples;
  test::ScratchDir dir;
  const AudioFormat format{48000, 1, 32};
};

TEST_F(LargeSave, SegmentedSaveKeepsEverySampleInTheTargetsSegmentNames) {
  std::vector<fs::path> files;
  std::string error;
  ASSERT_TRUE(SaveWavStaged(dir / "long.wav", format, ContiguousSamples(samples.get(), kCount, 1), 32, files, error)) << error;
  ASSERT_EQ(files, (std::vector<fs::path>{dir / "long.wav", dir / "long_01.wav"}));
  const uint64_t rest = uint64_t(kCount) * 4 - kFirstFile;
  EXPECT_EQ(fs::file_size(files[0]), 44 + kFirstFile);
  EXPECT_EQ(fs::file_size(files[1]), 44 + rest);
  EXPECT_EQ(U32At(files[0], 40), uint32_t(kFirstFile));
  EXPECT_EQ(U32At(files[1], 40), uint32_t(rest));
  EXPECT_EQ(SampleAt(files[0], 44), 0.25f);
  EXPECT_EQ(SampleAt(files[0], 44 + kFirstFile - 4), 0.5f);
  EXPECT_EQ(SampleAt(files[1], 44), -0.5f);
  EXPECT_EQ(SampleAt(files[1], 44 + rest - 4), -0.75f);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST_F(LargeSave, Rf64FileIsReadWholeByFfmpeg) {
  if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "the ffmpeg program is not installed";
  const fs::path wav = dir / "export.wav";
  std::string error;
  ASSERT_TRUE(WriteWavFile(wav, format, samples.get(), kCount, error, 32, {}, true)) << error;
  EXPECT_FALSE(fs::exists(SegmentPath(wav, 1)));
  EXPECT_EQ(fs::file_size(wav), 80 + uint64_t(kCount) * 4);
  // The last 100 samples as ffmpeg decodes them: the marked one ends them.
  const fs::path tail = dir / "tail.f32";
  const double seconds = double(kCount) / 48000;
  ASSERT_EQ(test::Shell("ffmpeg -v error -ss " + std::to_string(seconds - 0.01) + " -i " + Q(wav) +
                        " -f f32le -y " + Q(tail)),
            0);
  const uint64_t bytes = fs::file_size(tail);
  ASSERT_GE(bytes, 400u);
  EXPECT_EQ(SampleAt(tail, bytes - 4), -0.75f);
  EXPECT_EQ(SampleAt(tail, bytes - 8), 0.0f);
}

}  // namespace
}  // namespace vesk
