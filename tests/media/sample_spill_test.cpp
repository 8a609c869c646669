// The spill file of a long decode, on each system's own file semantics: the
// frames offered past the limit and the rest read back exactly, and the file
// is gone once its reader lets go, and on Linux already when it is handed
// over (Windows may list a file deleted while open until it is closed).
#include <gtest/gtest.h>

#include <filesystem>

#include "media/sample_spill.h"
#include "media/wav_reader.h"
#include "platform/folders.h"

namespace vesk {
namespace {

size_t SpillNames() {
  size_t n = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(PrivateTempDir(), ec))
    n += e.path().filename().string().find("spill") != std::string::npos;
  return n;
}

TEST(SampleSpill, FramesPastTheLimitAndTheRestReadBackFromAFileWithoutAName) {
  const size_t before = SpillNames();
  std::vector<float> all(3 * 1000 * 1000 + 3);  // stereo, a partial frame of one value kept back
  for (size_t i = 0; i < all.size(); ++i) all[i] = float(int(i % 1999) - 999) / 1000.0f;
  SampleSpill spill(uint64_t(1) << 20);
  std::vector<float> buffer;
  std::string error;
  for (size_t at = 0; at < all.size(); at += 4097) {
    buffer.insert(buffer.end(), all.begin() + ptrdiff_t(at), all.begin() + ptrdiff_t(std::min(all.size(), at + 4097)));
    ASSERT_TRUE(spill.Offer(buffer, 2, error)) << error;
    EXPECT_LE(buffer.size(), (size_t(1) << 18) + 4097);
  }
  ASSERT_TRUE(spill.Spilled());
  EXPECT_EQ(SpillNames(), before + 1) << "named while it is written (a killed run leaves it to the next start)";
  auto frames = spill.Finish(buffer, AudioFormat{48000, 2, 16}, error);
  ASSERT_NE(frames, nullptr) << error;
#ifndef _WIN32
  EXPECT_EQ(SpillNames(), before);
#endif
  ASSERT_EQ(frames->Layout().Frames(), all.size() / 2);
  std::vector<float> back(all.size() - 1);
  frames->Read(0, back.size() / 2, back.data());
  EXPECT_TRUE(std::equal(back.begin(), back.end(), all.begin()));
  EXPECT_FALSE(frames->Changed());
  frames.reset();
  EXPECT_EQ(SpillNames(), before);
}

}  // namespace
}  // namespace vesk
