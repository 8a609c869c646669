// A recording killed by SIGKILL, checked with other programs: before
// recovery they stop at the last refill, afterwards they see every second.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "media/wav_recovery.h"
#include "support/test_support.h"
#include "media/wav_crash_child.h"

namespace vesk::test {
namespace {

std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[256];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

double SoxSeconds(const std::filesystem::path& f) {
  return std::atof(Capture("sox --i -D '" + f.string() + "' 2>/dev/null").c_str());
}

// Frames ffmpeg actually decodes, from the raw PCM it produces.
uint64_t FfmpegFrames(const std::filesystem::path& f) {
  const std::string bytes = Capture("ffmpeg -v error -nostdin -i '" + f.string() + "' -f s16le - | wc -c");
  return std::strtoull(bytes.c_str(), nullptr, 10) / 4;
}

TEST(WavCrashTools, SoxAndFfmpegSeeTheFullDurationOnlyAfterRecovery) {
  if (!HaveTool("sox") || !HaveTool("ffmpeg")) VESK_MISSING_PART("sox or ffmpeg missing");
  ScratchDir dir;
  const std::filesystem::path path = dir / "killed.wav";
  std::string failure;
  ASSERT_TRUE(RecordInChildAndKill(path, failure)) << failure;
  const uint64_t allFrames = kCrashBlocks * kCrashBlockFrames;
  const uint64_t sealedFrames = kCrashSealedBytes / 4;

  EXPECT_NEAR(SoxSeconds(path), double(sealedFrames) / kCrashFormat.sampleRate, 1e-3);
  EXPECT_EQ(FfmpegFrames(path), sealedFrames);

  AgeFile(path);
  ASSERT_EQ(RepairUnsealedWavs(dir.path()), 1);
  EXPECT_NEAR(SoxSeconds(path), 3.5, 1e-3);
  EXPECT_EQ(FfmpegFrames(path), allFrames);
}

}  // namespace
}  // namespace vesk::test
