#pragma once
// The session log: one file per run of the window application, every line
// opened, written and closed under one lock so it is on disk when AppLog
// returns. Headless modes never open it; until AppLogInit succeeds AppLog
// does nothing. Messages start with an area tag such as "[mix]".
//
// Files live in LocalAppDataDir()/VeskRecorder/logs and are named
// "VeskRecorder-YYYYMMDD-HHMMSS-<pid>.log"; a file that reaches 10 MiB is
// moved to "<name>.prev". At start the 20 newest logs are kept and the
// newest one is checked for the end marker: a run that did not write it
// ended uncleanly (crash, forced kill, power loss).
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// Call once from the window application's start-up, before other threads log.
void AppLogInit();
// printf-style, UTF-8 format; one line. Safe from any thread. Messages that
// are empty or longer than 2047 UTF-16 units are dropped.
void AppLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes the end marker and closes; later AppLog calls do nothing.
void AppLogShutdown();

// Markers shared by every writer and reader of the logs.
inline constexpr const char kLogStartMarker[] = "==== 日志开始（会话 %s）====";  // %s = timestamp
inline constexpr const char kLogEndMarker[] = "==== 日志结束 ====";
inline constexpr const char kLogUncleanMarker[] =
    "[crash] 上次运行未写入收尾标记 ⇒ 判为「非正常结束」（崩溃 / 被强杀 / 断电都归这一类）。"
    "那份日志已保留，「导出诊断日志到桌面」会带上最近 %u 份会话日志。";  // %u = kDiagnosticsLogCount
inline constexpr unsigned kDiagnosticsLogCount = 3;

inline constexpr size_t kLogKeepCount = 20;
inline constexpr long long kLogRotateBytes = 10LL * 1024 * 1024;
inline constexpr size_t kLogTailBytes = 16384;

// "VeskRecorder-" + 8 digits + "-" + 6 digits + "-" + anything + ".log".
bool IsSessionLogName(std::string_view name);
// Whether the tail of a session log shows a run that ended cleanly: it holds
// the end marker AppLogShutdown writes. A tail cut off mid-run does not.
bool LogTailShowsCleanEnd(std::string_view tail);
// The session-log names among `names`, newest first (descending by plain
// byte comparison, which orders the timestamps), at most `count` of them.
std::vector<std::string> SelectNewestLogs(const std::vector<std::string>& names, size_t count);

struct AppLogStatus {
  bool started = false;  // AppLogInit has run at least once
  bool open = false;
  std::filesystem::path folder;
  std::filesystem::path path;  // this run's file
  bool previousRunUnclean = false;
};

// A consistent copy of the module state.
AppLogStatus AppLogCurrentStatus();
bool AppLogPreviousRunUnclean();

// Runs `fn` while holding the log lock, so no line is written meanwhile.
// False (and `fn` not run) when the module was never started.
bool AppLogRunLocked(const std::function<void(const AppLogStatus&)>& fn);

}  // namespace vesk
