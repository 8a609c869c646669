// RunFfmpeg and LocateFfmpeg with real processes.
#include "video/ffmpeg_runner.h"

#include <cerrno>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/process_info.h"
#include "platform/text.h"
#include "video_media.h"

namespace vesk {
namespace {

using FfmpegRun = test::VideoTest;

TEST_F(FfmpegRun, HangingChildIsKilledAtTheLimitWithTheTimeOutLine) {
  std::string output;
  const int64_t start = Now100ns();
  EXPECT_FALSE(RunFfmpeg("/bin/sleep", {"30"}, output, 300, {}));
  EXPECT_LT(Now100ns() - start, 10'000'000 * 5LL);
  EXPECT_EQ(output, "[vesk] ffmpeg 超时，已强制结束。");
}

TEST_F(FfmpegRun, CancelOnTheFirstPollKillsTheRunAndSetsTheFlag) {
  std::string output;
  bool cancelled = false;
  int polls = 0;
  const bool ok = RunFfmpeg("/usr/bin/ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "sine", "-f", "null", "-"}, output,
                            0, [&](int64_t, double) { return ++polls > 1; }, &cancelled);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(polls, 1);
}

TEST_F(FfmpegRun, ReportsProgressAndErrorTailAndExitCode) {
  std::string output;
  int64_t lastOut = -1;
  EXPECT_TRUE(RunFfmpeg("/usr/bin/ffmpeg",
                        {"-v", "error", "-re", "-f", "lavfi", "-i", "sine=d=0.6", "-f", "null", "-"}, output, 0,
                        [&](int64_t outUs, double) {
                          lastOut = std::max(lastOut, outUs);
                          return true;
                        }));
  EXPECT_GT(lastOut, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "ffmpeg-progress.log"));
  EXPECT_FALSE(RunFfmpeg("/usr/bin/ffmpeg", {"-v", "error", "-i", (dir / "missing.mp4").string(), "-f", "null", "-"},
                         output, 0, {}));
  EXPECT_NE(output.find("missing.mp4"), std::string::npos) << output;
  EXPECT_FALSE(RunFfmpeg(dir / "no-such-program", {}, output, 0, {}));
}

TEST_F(FfmpegRun, LogFolderThatCannotTakeTheLogIsReportedBeforeStarting) {
  SetFfmpegRunFolder(dir / "missing-folder");
  std::string output;
  EXPECT_FALSE(RunFfmpeg("/usr/bin/ffmpeg", {"-version"}, output, 0, {}));
  EXPECT_EQ(output.rfind("[vesk] 无法创建 ffmpeg 日志文件，ffmpeg 尚未运行。\n路径：", 0), 0u) << output;
}

TEST_F(FfmpegRun, LocatorSkipsFoldersAndMissingFilesThenSearchesOn) {
  const FfmpegLocation fromFolder = LocateFfmpeg(dir.path());
  ASSERT_TRUE(fromFolder.found);
  EXPECT_NE(fromFolder.source, "INI 里配置的 FfmpegPath");
  EXPECT_TRUE(LocateFfmpeg(dir / "nothing").found);
  const auto configured = dir / "my-ffmpeg";
  test::WriteBytes(configured, {0});
  std::filesystem::permissions(configured, std::filesystem::perms::owner_all);
  const FfmpegLocation c = LocateFfmpeg(configured);
  EXPECT_EQ(c.path, configured);
  EXPECT_EQ(c.source, "INI 里配置的 FfmpegPath");
}

// A file without execute permission is no ffmpeg: the locator goes on to
// the next candidate, and running it says why it could not start.
TEST_F(FfmpegRun, FileThatCannotBeExecutedIsSkippedAndItsStartFailureSaysWhy) {
  const auto blocked = dir / "bin" / "ffmpeg";
  std::filesystem::create_directories(blocked.parent_path());
  test::WriteBytes(blocked, {'#', '!'});
  std::filesystem::permissions(blocked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const char* oldPath = std::getenv("PATH");
  const std::string saved = oldPath ? oldPath : "";
  setenv("PATH", (PathToUtf8(blocked.parent_path()) + ":" + saved).c_str(), 1);
  const FfmpegLocation viaPath = LocateFfmpeg({});
  const FfmpegLocation configured = LocateFfmpeg(blocked);
  setenv("PATH", saved.c_str(), 1);
  for (const FfmpegLocation& l : {viaPath, configured}) {
    EXPECT_NE(l.path, blocked);
    if (l.found) EXPECT_TRUE(IsExecutableFile(l.path)) << l.path;
  }

  std::string output = "stale";
  EXPECT_FALSE(RunFfmpeg(blocked, {"-version"}, output, 0, {}));
  EXPECT_EQ(output, "[vesk] ffmpeg 启动失败：" + SystemErrorText(EACCES) + "（系统错误码 " + std::to_string(EACCES) +
                        "）\n路径：" + PathToUtf8(blocked));
}

}  // namespace
}  // namespace vesk
