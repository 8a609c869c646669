// A run killed in the middle of a video export, after it had also written a
// helper exchange file, and the starts after it: what it left is removed only
// once the run has ended and only when it is older than the current run;
// files that merely look alike stay.
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "denoise/helper_client.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "platform/temp_files.h"
#include "platform/text.h"
#include "video/ffmpeg_export.h"
#include "video/ffmpeg_runner.h"
#include "video_media.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

const char kChildVariable[] = "VESK_TEST_TEMP_CHILD";

// The child: a helper exchange file as the helper client makes it, then an
// export whose ffmpeg never finishes.
const bool kChildRegistered = test::RegisterChildTest("StaleTemporariesChild", "ExportsUntilKilled", kChildVariable, [] {
  const fs::path work = PathFromUtf8(std::getenv(kChildVariable));
  SetFfmpegRunFolder(work);
  File exchange;
  ASSERT_TRUE(exchange.CreateNew(MakeHelperTempPath("in")));
  ASSERT_TRUE(exchange.Write("samples", 7));
  exchange.Close();
  const std::vector<float> samples(2 * 4800, 0.25f);
  fs::path actual;
  std::string error;
  ExportVideoEditedViaFfmpeg(work / "ffmpeg", work / "clip.mp4", samples, AudioFormat{48000, 2, 16}, {},
                             work / "out.mp4", actual, error, nullptr, {});
});

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(PathToUtf8(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(StaleTemporaries, KilledExportAndHelperFilesGoAtTheNextStartOnly) {
  if (!test::HaveTool("ffmpeg")) VESK_MISSING_PART("the ffmpeg program is not installed");
  test::ScratchDir work;
  test::Make("-f lavfi -i testsrc=size=64x48:rate=25:d=1 -c:v libx264 -pix_fmt yuv420p " + test::Q(work / "clip.mp4"));
  const fs::path pidFile = work / "ffmpeg.pid";
  test::WriteText(work / "ffmpeg", "#!/bin/sh\necho $$ > '" + PathToUtf8(pidFile) + "'\nexec sleep 30\n");
  fs::permissions(work / "ffmpeg", fs::perms::owner_all);
  fs::create_directory(work / "tmp");
  const test::EnvOverride temp("TMPDIR", PathToUtf8(work / "tmp"));
  const fs::path own = PrivateTempDir();
  ASSERT_EQ(own, work / "tmp" / ("VeskRecorder-" + std::to_string(geteuid())));
  // Alike, but never claimed by a run: a user's file and a foreign one.
  test::WriteText(work / "old.mp4.vesk-audio.wav", "user");
  test::WriteText(own / "notes.txt", "user");

  ChildProcess child;
  {
    const test::EnvOverride variable(kChildVariable, PathToUtf8(work.path()));
    ASSERT_TRUE(child.Start(test::BuiltProgramDir() / "vesk_tests",
                            {"--gtest_filter=StaleTemporariesChild.ExportsUntilKilled"}, work / "child.txt"));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (test::ReadText(pidFile).empty() && std::chrono::steady_clock::now() < deadline && !child.Wait(20)) {
  }
  const int ffmpegPid = std::atoi(test::ReadText(pidFile).c_str());
  ASSERT_GT(ffmpegPid, 0) << test::ReadText(work / "child.txt");
  // The export works in a staging folder beside its output.
  fs::path staging;
  for (const auto& e : fs::directory_iterator(work.path()))
    if (PathToUtf8(e.path().filename()).starts_with(".vesk-save-")) staging = e.path();
  const fs::path audio = staging / "out.mp4.vesk-audio.wav";
  ASSERT_TRUE(fs::exists(audio));
  for (const fs::path& p : {audio, staging, work / "old.mp4.vesk-audio.wav"}) test::AgeFile(p);
  for (const auto& e : fs::directory_iterator(own)) test::AgeFile(e.path());

  EXPECT_EQ(RemoveStaleTemporaries(), 0) << "the run is alive";
  child.Kill();
  ASSERT_TRUE(child.Wait(10'000));
  // ffmpeg dies with the program that started it (gone, or a zombie).
  auto gone = [&] {
    const std::string stat = test::ReadText("/proc/" + std::to_string(ffmpegPid) + "/stat");
    const size_t paren = stat.rfind(')');
    return stat.empty() || (paren != std::string::npos && stat.compare(paren, 4, ") Z ") == 0);
  };
  for (int i = 0; i < 100 && !gone(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(gone()) << "ffmpeg outlived the killed export";
  kill(ffmpegPid, SIGKILL);
  ASSERT_TRUE(fs::exists(audio));

  // What is newer than this run's start may belong to a run still starting.
  File late;
  const fs::path lateExchange = own / "vesk-999999-1-dn32-in.bin";
  ASSERT_TRUE(late.CreateNew(lateExchange));
  late.Close();

  std::vector<std::string> removed;
  EXPECT_EQ(RemoveStaleTemporaries(&removed), 2);
  ASSERT_EQ(removed.size(), 2u);
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed[0], PathToUtf8(staging));
  EXPECT_NE(removed[1].find("-dn32-in.bin"), std::string::npos);
  EXPECT_FALSE(fs::exists(staging));
  EXPECT_TRUE(fs::exists(work / "old.mp4.vesk-audio.wav"));
  EXPECT_EQ(Names(own), (std::vector<std::string>{"notes.txt", "run-" + std::to_string(CurrentProcessId()) + ".lock",
                                                  "vesk-999999-1-dn32-in.bin"}));
}

// Runs that ended without leaving anything else still leave their lock;
// those go, the lock of a live run and one newer than this run stay.
TEST(StaleTemporaries, LocksOfEndedRunsDoNotPileUp) {
  test::ScratchDir work;
  const test::EnvOverride temp("TMPDIR", PathToUtf8(work.path()));
  const fs::path own = PrivateTempDir();
  struct Case {
    const char* name;
    bool aged, held, stays;
  };
  const Case cases[] = {{"run-111111.lock", true, false, false},
                        {"run-222222.lock", true, true, true},
                        {"run-333333.lock", false, false, true}};
  std::vector<File> held;
  for (const Case& c : cases) {
    test::WriteText(own / c.name, "");
    if (c.aged) test::AgeFile(own / c.name);
    if (c.held) {
      ASSERT_TRUE(held.emplace_back().OpenWriteClaimed(own / c.name));
    }
  }
  RemoveStaleTemporaries();
  for (const Case& c : cases) EXPECT_EQ(fs::exists(own / c.name), c.stays) << c.name;
}

}  // namespace
}  // namespace vesk
