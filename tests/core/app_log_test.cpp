#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <thread>

#include "core/app_log.h"
#include "core/log_fixture.h"
#include "platform/process.h"
#include "platform/system_info.h"

namespace vesk {
namespace {
namespace fs = std::filesystem;
using test::LogFolderTest;
using test::MessageOf;
using test::SplitCrLf;

const std::string kCleanTail = "16:53:40.123 [tid=1] ==== 日志结束 ====\r\n";

struct NameCase {
  const char* name;
  bool accepted;
};

class SessionLogName : public ::testing::TestWithParam<NameCase> {};

TEST_P(SessionLogName, FollowsTheNamingRule) {
  EXPECT_EQ(IsSessionLogName(GetParam().name), GetParam().accepted) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, SessionLogName,
    ::testing::Values(NameCase{"VeskRecorder-20260921-165339-9380.log", true},
                      NameCase{"VeskRecorder-20260921-165339-.log", true},
                      NameCase{"VeskRecorder-20260921-165339-9380.log.prev", false},
                      NameCase{"VeskRecorder-2026.log", false},
                      NameCase{"notes-VeskRecorder-20260921-165339-9380.log", false},
                      NameCase{"VeskRecorder-2026092X-165339-9380.log", false},
                      NameCase{"VeskRecorder-20260921_165339-9380.log", false},
                      NameCase{"VeskRecorder-20260921-165339x9380.log", false},
                      NameCase{"veskrecorder-20260921-165339-9380.log", false},
                      NameCase{"VeskRecorder-20260921-165339-9380.LOG", false},
                      NameCase{"VeskRecorder-.log", false},
                      NameCase{"环境快照.txt", false}));

TEST(SelectNewestLogs, KeepsSessionLogsNewestFirst) {
  const std::vector<std::string> names = {
      "VeskRecorder-20260919-100000-1.log", "VeskRecorder-20260921-165339-9380.log.prev",
      "VeskRecorder-20260921-165339-9380.log", "环境快照.txt", "VeskRecorder-20260920-120000-2.log"};
  EXPECT_EQ(SelectNewestLogs(names, 3),
            (std::vector<std::string>{"VeskRecorder-20260921-165339-9380.log", "VeskRecorder-20260920-120000-2.log",
                                      "VeskRecorder-20260919-100000-1.log"}));
  EXPECT_EQ(SelectNewestLogs(names, 1), (std::vector<std::string>{"VeskRecorder-20260921-165339-9380.log"}));
  EXPECT_EQ(SelectNewestLogs(names, 10).size(), 3u);
  EXPECT_TRUE(SelectNewestLogs({"环境快照.txt", "VeskRecorder-20260921-165339-9380.log.prev"}, 3).empty());
  EXPECT_TRUE(SelectNewestLogs({}, 3).empty());
}

TEST_F(LogFolderTest, FirstLineIsTheStartMarkerAfterAByteOrderMark) {
  AppLogInit();
  const AppLogStatus status = AppLogCurrentStatus();
  ASSERT_TRUE(status.open);
  EXPECT_EQ(status.folder, logs_);
  const std::string name = PathToUtf8(status.path.filename());
  EXPECT_TRUE(IsSessionLogName(name)) << name;
  EXPECT_NE(name.find("-" + std::to_string(CurrentProcessId()) + ".log"), std::string::npos) << name;
  EXPECT_FALSE(status.previousRunUnclean);

  AppLog("[test] 多行\nsecond\r\nthird %d", 42);
  const std::string text = CurrentLogText();
  ASSERT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u);
  const std::vector<std::string> lines = SplitCrLf(text.substr(3));
  ASSERT_EQ(lines.size(), 4u) << text;
  const std::regex prefix(R"(^\d\d:\d\d:\d\d\.\d\d\d \[tid=\d+\] .*)");
  EXPECT_TRUE(std::regex_match(lines[0], prefix)) << lines[0];
  EXPECT_TRUE(std::regex_match(MessageOf(lines[0]), std::regex(R"(==== 日志开始（会话 \d{8}-\d{6}）====)")))
      << lines[0];
  EXPECT_EQ(MessageOf(lines[1]), "[test] 多行");
  EXPECT_EQ(lines[2], "second");
  EXPECT_EQ(lines[3], "third 42");
  EXPECT_EQ(text.find("\n\n"), std::string::npos);
  EXPECT_EQ(text.back(), '\n');
}

TEST_F(LogFolderTest, DropsEmptyAndOverlongMessages) {
  AppLogInit();
  const std::string before = CurrentLogText();
  AppLog("%s", "");
  AppLog("%s", std::string(2048, 'x').c_str());  // 2048 UTF-16 units: does not fit
  EXPECT_EQ(CurrentLogText(), before);

  AppLog("%s", std::string(2047, 'y').c_str());
  std::vector<std::string> lines = SplitCrLf(CurrentLogText());
  EXPECT_EQ(MessageOf(lines.back()), std::string(2047, 'y'));

  // 1400 CJK characters fit the 2047-unit buffer but need 4200 UTF-8 bytes:
  // the line keeps its prefix and loses the message.
  std::string wide;
  for (int i = 0; i < 1400; ++i) wide += "音";
  AppLog("%s", wide.c_str());
  lines = SplitCrLf(CurrentLogText());
  EXPECT_TRUE(std::regex_match(lines.back(), std::regex(R"(^\d\d:\d\d:\d\d\.\d\d\d \[tid=\d+\] $)"))) << lines.back();
}

struct TailCase {
  const char* label;
  std::string content;
  bool unclean;
};

class PreviousRunCheck : public LogFolderTest, public ::testing::WithParamInterface<TailCase> {};

TEST_P(PreviousRunCheck, ReadsTheEndMarkerFromTheTail) {
  WriteLog("VeskRecorder-20200101-080000-10.log", GetParam().content);
  // An older crashed log must not matter: only the newest one is checked.
  WriteLog("VeskRecorder-20191231-080000-9.log", "\xEF\xBB\xBF" "08:00:00.000 [tid=1] [rec] cut");
  AppLogInit();
  EXPECT_EQ(AppLogPreviousRunUnclean(), GetParam().unclean);
  const std::vector<std::string> lines = SplitCrLf(CurrentLogText());
  if (GetParam().unclean) {
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(MessageOf(lines[1]), Format(kLogUncleanMarker, 3u));
  } else {
    EXPECT_EQ(lines.size(), 1u);
  }
}

std::string Padding(size_t bytes) { return std::string(bytes - 2, '.') + "\r\n"; }

INSTANTIATE_TEST_SUITE_P(
    Tails, PreviousRunCheck,
    ::testing::Values(
        TailCase{"clean", "\xEF\xBB\xBF" "16:53:39.000 [tid=1] [log] x\r\n" + kCleanTail, false},
        TailCase{"cut_mid_run", "\xEF\xBB\xBF" "16:53:39.000 [tid=1] [rec] writing segm", true},
        TailCase{"empty", "", true},
        TailCase{"marker_inside_last_16384", kCleanTail + Padding(16384 - kCleanTail.size()), false},
        TailCase{"marker_before_last_16384", kCleanTail + Padding(16384), true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(LogFolderTest, MissingFolderOrNoPreviousLogCountsAsClean) {
  ASSERT_FALSE(fs::exists(logs_));
  AppLogInit();
  EXPECT_TRUE(fs::is_directory(logs_));
  EXPECT_FALSE(AppLogPreviousRunUnclean());
  AppLogShutdown();
  // Only a rotated file and foreign files: still no previous session log.
  for (const auto& entry : fs::directory_iterator(logs_)) fs::remove(entry.path());
  WriteLog("VeskRecorder-20200101-080000-1.log.prev", "cut");
  WriteLog("环境快照.txt", "x");
  AppLogInit();
  EXPECT_FALSE(AppLogPreviousRunUnclean());
}

TEST_F(LogFolderTest, KeepsTheTwentyNewestLogsWithTheirRotatedFiles) {
  for (int day = 1; day <= 25; ++day) {
    const std::string name = Format("VeskRecorder-202001%02d-120000-%d.log", day, day);
    WriteLog(name, kCleanTail);
    WriteLog(name + ".prev", "old");
  }
  WriteLog("notes.txt", "keep");
  fs::create_directories(logs_ / "VeskRecorder-20000101-000000-1.log");  // a folder is never pruned

  AppLogInit();
  std::set<std::string> present;
  for (const auto& entry : fs::directory_iterator(logs_)) present.insert(PathToUtf8(entry.path().filename()));
  for (int day = 1; day <= 25; ++day) {
    const std::string name = Format("VeskRecorder-202001%02d-120000-%d.log", day, day);
    EXPECT_EQ(present.count(name), day > 5 ? 1u : 0u) << name;
    EXPECT_EQ(present.count(name + ".prev"), day > 5 ? 1u : 0u) << name;
  }
  EXPECT_EQ(present.count("notes.txt"), 1u);
  EXPECT_EQ(present.count("VeskRecorder-20000101-000000-1.log"), 1u);
  std::vector<std::string> names(present.begin(), present.end());
  EXPECT_EQ(SelectNewestLogs(names, 100).size(), 22u);  // 20 kept + the folder + this run
  EXPECT_EQ(SelectNewestLogs(names, 1)[0], PathToUtf8(AppLogCurrentStatus().path.filename()));
}

TEST_F(LogFolderTest, RotatesAtTenMebibytesIntoThePrevFile) {
  AppLogInit();
  const fs::path path = AppLogCurrentStatus().path;
  fs::path prev = path;
  prev += ".prev";
  test::WriteBytes(prev, {'o', 'l', 'd'});

  fs::resize_file(path, uint64_t(kLogRotateBytes) - 1);
  AppLog("[test] still below");
  ASSERT_GT(fs::file_size(path), uint64_t(kLogRotateBytes));
  EXPECT_EQ(fs::file_size(prev), 3u);

  const uintmax_t full = fs::file_size(path);
  AppLog("[test] after rotation");
  EXPECT_EQ(fs::file_size(prev), full);
  const std::string fresh = test::ReadText(path);
  ASSERT_EQ(fresh.rfind("\xEF\xBB\xBF", 0), 0u);
  const std::vector<std::string> lines = SplitCrLf(fresh.substr(3));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(MessageOf(lines[0]), "[test] after rotation");
}

TEST_F(LogFolderTest, WritesNothingAfterShutdown) {
  AppLogInit();
  const fs::path path = AppLogCurrentStatus().path;
  AppLogShutdown();
  const std::string closed = test::ReadText(path);
  EXPECT_EQ(MessageOf(SplitCrLf(closed).back()), kLogEndMarker);
  AppLog("[test] too late");
  AppLogShutdown();
  EXPECT_EQ(test::ReadText(path), closed);
  EXPECT_FALSE(AppLogCurrentStatus().open);
}

TEST_F(LogFolderTest, LinesOfConcurrentWritersNeverInterleave) {
  AppLogInit();
  constexpr int kThreads = 6;
  constexpr int kLines = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      const std::string filler(100 + 40 * t, char('a' + t));
      for (int i = 0; i < kLines; ++i) AppLog("[test] w%d n%d %s", t, i, filler.c_str());
    });
  for (std::thread& th : threads) th.join();

  const std::vector<std::string> lines = SplitCrLf(CurrentLogText().substr(3));
  ASSERT_EQ(lines.size(), size_t(1 + kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  std::set<std::string> tidsPerWriter[kThreads];
  const std::regex shape(R"(^\d\d:\d\d:\d\d\.\d\d\d \[tid=(\d+)\] \[test\] w(\d) n(\d+) ([a-z]+)$)");
  for (size_t i = 1; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, shape)) << lines[i].substr(0, 80);
    const int writer = std::stoi(m[2]);
    EXPECT_EQ(std::stoi(m[3]), next[writer]++);  // each writer's lines in its own order
    EXPECT_EQ(m[4].str(), std::string(100 + 40 * writer, char('a' + writer)));
    tidsPerWriter[writer].insert(m[1]);
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(tidsPerWriter[t].size(), 1u);
}

// The child half of the next test: logs numbered lines and reports on its
// standard output each line AppLog has returned from, until it is killed.
const bool kLogChildRegistered = test::RegisterChildTest("AppLogChildProcess", "LogsNumberedLinesUntilKilled",
                                                         "VESK_TEST_LOG_CHILD", [] {
  AppLogInit();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
    AppLog("[test] line %d", i);
    std::printf("returned %d\n", i);
    std::fflush(stdout);
  }
});

TEST_F(LogFolderTest, KilledWriterLeavesEveryReturnedLineOnDisk) {
  test::EnvOverride child("VESK_TEST_LOG_CHILD", "1");
  const fs::path output = scratch_ / "child-output.txt";
  ChildProcess process;
  ASSERT_TRUE(process.Start(test::BuiltProgramDir() / test::ProgramFileName("vesk_tests"),
                            {"--gtest_filter=AppLogChildProcess.LogsNumberedLinesUntilKilled"}, output));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  // Line ends differ by platform ("\r\n" from the Windows C runtime): wait
  // until line 201 is begun, so at least 200 lines have returned.
  while (test::ReadText(output).find("returned 201") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline && !process.Wait(20)) {
  }
  process.Kill();
  ASSERT_TRUE(process.Wait(10'000));

  const std::string reported = test::ReadText(output);
  const size_t last = reported.rfind("returned ");
  ASSERT_NE(last, std::string::npos) << reported;
  const int returned = std::atoi(reported.c_str() + last + 9);
  ASSERT_GE(returned, 200) << reported;

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(logs_)) names.push_back(PathToUtf8(entry.path().filename()));
  const std::vector<std::string> logs = SelectNewestLogs(names, 5);
  ASSERT_EQ(logs.size(), 1u);
  // A slow kill may let the file reach the rotation size: read both parts.
  std::string text;
  for (const std::string& part : {logs[0] + ".prev", logs[0]})
    if (fs::exists(logs_ / part)) text += test::ReadText(logs_ / part).substr(3);
  const std::vector<std::string> lines = SplitCrLf(text);
  ASSERT_GE(lines.size(), size_t(returned) + 2);
  for (int i = 0; i <= returned; ++i) ASSERT_EQ(MessageOf(lines[size_t(i) + 1]), Format("[test] line %d", i));

  // The next run finds no end marker in the killed run's log.
  AppLogInit();
  EXPECT_TRUE(AppLogPreviousRunUnclean());
  const std::vector<std::string> fresh = SplitCrLf(CurrentLogText());
  ASSERT_GE(fresh.size(), 2u);
  EXPECT_EQ(MessageOf(fresh[1]), Format(kLogUncleanMarker, kDiagnosticsLogCount));
}

}  // namespace
}  // namespace vesk
