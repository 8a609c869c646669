#include "core/app_log.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <system_error>

#include "platform/file_ops.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/system_info.h"
#include "platform/text.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNamePrefix = "VeskRecorder-";
constexpr std::string_view kNameSuffix = ".log";
constexpr size_t kMaxMessageUnits = 2047;
constexpr size_t kMaxMessageBytes = 4095;

struct LogState {
  std::mutex lock;
  std::atomic<bool> started{false};
  bool open = false;
  fs::path folder;
  fs::path path;
  bool previousRunUnclean = false;
};

LogState& State() {
  static LogState state;
  return state;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Timestamp(const LocalTime& t) {
  return Format("%04u%02u%02u-%02u%02u%02u", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// Length in UTF-16 units, the measure the message limit is stated in.
size_t Utf16Length(std::string_view s) {
  size_t units = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    units += (c >= 0xF0 && c <= 0xF4) ? 2 : 1;
  }
  return units;
}

void PruneOldLogs(const fs::path& folder) {
  std::vector<std::string> logs;
  for (std::string& name : ListRegularFileNames(folder))
    if (IsSessionLogName(name)) logs.push_back(std::move(name));
  if (logs.size() <= kLogKeepCount) return;
  std::sort(logs.begin(), logs.end());
  for (size_t i = 0; i + kLogKeepCount < logs.size(); ++i) {
    std::error_code ec;
    fs::remove(folder / PathFromUtf8(logs[i]), ec);
    fs::remove(folder / PathFromUtf8(logs[i] + ".prev"), ec);
  }
}

bool PreviousRunWasUnclean(const fs::path& folder) {
  const std::vector<std::string> newest = SelectNewestLogs(ListRegularFileNames(folder), 1);
  if (newest.empty()) return false;
  File file;
  if (!file.OpenRead(folder / PathFromUtf8(newest[0]))) return false;
  const int64_t size = file.Size();
  if (size <= 0) return true;
  const int64_t tail = std::min<int64_t>(size, int64_t(kLogTailBytes));
  std::string bytes(size_t(tail), '\0');
  if (!file.Seek(size - tail)) return true;
  const int64_t got = file.Read(bytes.data(), bytes.size());
  if (got <= 0) return true;
  bytes.resize(size_t(got));
  return !LogTailShowsCleanEnd(bytes);
}

// One line: open, rotate when full, write, close. Caller holds the lock.
void WriteLineLocked(LogState& s, std::string_view message) {
  File file;
  if (!file.OpenAppend(s.path)) return;
  if (file.Size() >= kLogRotateBytes) {
    file.Close();
    fs::path prev = s.path;
    prev += ".prev";
    std::error_code ec;
    fs::remove(prev, ec);
    fs::rename(s.path, prev, ec);
    if (!file.OpenAppend(s.path)) return;
  }
  std::string line;
  if (file.Size() == 0) line = "\xEF\xBB\xBF";
  const LocalTime t = LocalTimeNow();
  line += Format("%02u:%02u:%02u.%03u [tid=%lu] ", t.hour, t.minute, t.second, t.millisecond,
                 CurrentThreadId());
  if (message.size() <= kMaxMessageBytes) {
    for (size_t i = 0; i < message.size(); ++i) {
      if (message[i] == '\n' && (i == 0 || message[i - 1] != '\r')) line += '\r';
      line += message[i];
    }
  }
  line += "\r\n";
  file.Write(line.data(), line.size());
}

}  // namespace

bool IsSessionLogName(std::string_view name) {
  if (name.size() <= kNamePrefix.size() + kNameSuffix.size()) return false;
  if (!name.starts_with(kNamePrefix) || !name.ends_with(kNameSuffix)) return false;
  const std::string_view middle =
      name.substr(kNamePrefix.size(), name.size() - kNamePrefix.size() - kNameSuffix.size());
  if (middle.size() < 16) return false;
  for (size_t i = 0; i < 15; ++i) {
    if (i == 8) continue;
    if (!IsDigit(middle[i])) return false;
  }
  return middle[8] == '-' && middle[15] == '-';
}

bool LogTailShowsCleanEnd(std::string_view tail) { return tail.find(kLogEndMarker) != std::string_view::npos; }

std::vector<std::string> SelectNewestLogs(const std::vector<std::string>& names, size_t count) {
  std::vector<std::string> logs;
  for (const std::string& name : names)
    if (IsSessionLogName(name)) logs.push_back(name);
  std::sort(logs.begin(), logs.end(), std::greater<>());
  if (logs.size() > count) logs.resize(count);
  return logs;
}

void AppLogInit() {
  LogState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  s.started = true;
  if (s.open) return;
  s.folder.clear();
  s.path.clear();
  s.previousRunUnclean = false;

  const fs::path localData = LocalAppDataDir();
  if (localData.empty()) return;
  s.folder = localData / "VeskRecorder" / "logs";
  std::error_code ec;
  fs::create_directories(s.folder, ec);

  PruneOldLogs(s.folder);
  s.previousRunUnclean = PreviousRunWasUnclean(s.folder);

  const std::string stamp = Timestamp(LocalTimeNow());
  s.path = s.folder / PathFromUtf8(Format("VeskRecorder-%s-%lu.log", stamp.c_str(), CurrentProcessId()));
  s.open = true;

  WriteLineLocked(s, Format(kLogStartMarker, Timestamp(LocalTimeNow()).c_str()));
  if (s.previousRunUnclean) WriteLineLocked(s, Format(kLogUncleanMarker, kDiagnosticsLogCount));
}

void AppLog(const char* format, ...) {
  LogState& s = State();
  if (!s.started) return;
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.open) return;

  va_list ap;
  va_start(ap, format);
  va_list copy;
  va_copy(copy, ap);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string message;
  // A message of more than 2047 UTF-16 units needs more than 2047 bytes, so
  // longer UTF-8 forms than 4 × 2047 need not be formatted at all.
  if (n > 0 && size_t(n) <= 4 * kMaxMessageUnits) {
    message.resize(size_t(n) + 1);
    std::vsnprintf(message.data(), message.size(), format, ap);
    message.resize(size_t(n));
  }
  va_end(ap);
  if (message.empty() || Utf16Length(message) > kMaxMessageUnits) return;
  WriteLineLocked(s, message);
}

void AppLogShutdown() {
  LogState& s = State();
  if (!s.started) return;
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.open) return;
  WriteLineLocked(s, kLogEndMarker);
  s.open = false;
}

static AppLogStatus StatusLocked(const LogState& s) {
  AppLogStatus status;
  status.started = s.started;
  status.open = s.open;
  status.folder = s.folder;
  status.path = s.path;
  status.previousRunUnclean = s.previousRunUnclean;
  return status;
}

AppLogStatus AppLogCurrentStatus() {
  LogState& s = State();
  if (!s.started) return {};
  std::lock_guard<std::mutex> guard(s.lock);
  return StatusLocked(s);
}

bool AppLogPreviousRunUnclean() { return AppLogCurrentStatus().previousRunUnclean; }

bool AppLogRunLocked(const std::function<void(const AppLogStatus&)>& fn) {
  LogState& s = State();
  if (!s.started) return false;
  std::lock_guard<std::mutex> guard(s.lock);
  fn(StatusLocked(s));
  return true;
}

}  // namespace vesk
