#include "video/ffmpeg_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <system_error>

#include "media/ffmpeg_url.h"
#include "platform/file.h"
#include "platform/folders.h"
#include "platform/process_info.h"
#include "platform/process.h"
#include "platform/text.h"
#include "video/ffmpeg_candidates.h"

namespace vesk {

namespace {

constexpr int64_t kPollMs = 150;
constexpr int64_t kKillWaitMs = 3000;
constexpr size_t kErrorTailBytes = 8192;
constexpr size_t kProgressTailBytes = 4096;

std::mutex runFolderLock;
std::filesystem::path runFolder;

std::string Trim(std::string_view s, const char* blanks) {
  const size_t b = s.find_first_not_of(blanks);
  if (b == std::string_view::npos) return {};
  const size_t e = s.find_last_not_of(blanks);
  return std::string(s.substr(b, e - b + 1));
}

// The last `maxBytes` of a file; empty when it cannot be read.
std::string ReadTail(const std::filesystem::path& path, size_t maxBytes) {
  File f;
  if (!f.OpenRead(path)) return {};
  const int64_t size = f.Size();
  if (size <= 0) return {};
  const int64_t start = size > int64_t(maxBytes) ? size - int64_t(maxBytes) : 0;
  if (!f.Seek(start)) return {};
  std::string text(size_t(size - start), '\0');
  const int64_t got = f.Read(text.data(), text.size());
  text.resize(got > 0 ? size_t(got) : 0);
  return text;
}

// Drops the UTF-8 continuation bytes a tail cut may have left at its front.
std::string CutToWholeCharacters(std::string s) {
  size_t i = 0;
  while (i < s.size() && i < 3 && (uint8_t(s[i]) & 0xC0) == 0x80) ++i;
  return s.substr(i);
}

// Value of the last "key" in text, up to the next line end, blanks trimmed.
bool LastValue(const std::string& text, const std::string& key, std::string& value) {
  const size_t at = text.rfind(key);
  if (at == std::string::npos) return false;
  const size_t begin = at + key.size();
  const size_t end = text.find_first_of("\r\n", begin);
  value = Trim(std::string_view(text).substr(begin, end == std::string::npos ? std::string::npos : end - begin),
               " \t");
  return true;
}

void StopChild(ChildProcess& child) {
  child.Kill();
  child.Wait(kKillWaitMs);
}

}  // namespace

std::vector<std::string> SplitSearchPath(const std::string& value, char separator) {
  std::vector<std::string> pieces;
  size_t pos = 0;
  while (pos <= value.size()) {
    size_t end = value.find(separator, pos);
    if (end == std::string::npos) end = value.size();
    std::string piece = Trim(std::string_view(value).substr(pos, end - pos), " \t\r\n");
    if (piece.size() >= 2 && piece.front() == '"' && piece.back() == '"')
      piece = Trim(std::string_view(piece).substr(1, piece.size() - 2), " \t\r\n");
    if (!piece.empty()) pieces.push_back(piece);
    pos = end + 1;
  }
  return pieces;
}

std::vector<FfmpegCandidate> FfmpegCandidates(const std::filesystem::path& configured) {
  std::vector<FfmpegCandidate> list;
  if (!configured.empty()) list.push_back({configured, "INI 里配置的 FfmpegPath"});
  for (FfmpegCandidate& c : PlatformFfmpegCandidates()) list.push_back(std::move(c));
  return list;
}

FfmpegLocation LocateFfmpeg(const std::filesystem::path& configured) {
  for (const FfmpegCandidate& c : FfmpegCandidates(configured)) {
    // A file without the right to run it would only fail later with a
    // vaguer text; the next candidate may work.
    if (IsExecutableFile(c.path)) return {true, c.path, c.source};
  }
  return {};
}

std::filesystem::path FfmpegRunFolder() {
  std::lock_guard<std::mutex> lock(runFolderLock);
  return runFolder.empty() ? DataFolder() : runFolder;
}

void SetFfmpegRunFolder(const std::filesystem::path& folder) {
  std::lock_guard<std::mutex> lock(runFolderLock);
  runFolder = folder;
}

std::string BuildWindowsCommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string line = QuoteWindowsArgument(program);
  for (const std::string& a : args) line += " " + QuoteWindowsArgument(a);
  return line;
}

bool ParseFfmpegProgress(const std::filesystem::path& file, int64_t* outTimeUs, double* speed) {
  const std::string tail = ReadTail(file, kProgressTailBytes);
  if (tail.empty()) return false;
  int stored = 0;
  std::string value;
  if (LastValue(tail, "out_time_us=", value) && !value.empty()) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(value.c_str(), &end, 10);
    if (end != value.c_str() && errno == 0) {
      if (outTimeUs) *outTimeUs = v;
      ++stored;
    }
  }
  if (LastValue(tail, "speed=", value)) {
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (speed) *speed = end != value.c_str() ? v : 0.0;
    ++stored;
  }
  return stored > 0;
}

bool RunFfmpeg(const std::filesystem::path& ffmpeg, std::vector<std::string> args, std::string& output,
               int64_t timeLimitMs, const FfmpegProgress& progress, bool* cancelled) {
  output.clear();
  if (cancelled) *cancelled = false;
  const std::filesystem::path folder = FfmpegRunFolder();

  const std::filesystem::path progressPath = folder / "ffmpeg-progress.log";
  if (progress) {
    File truncate;
    truncate.OpenWrite(progressPath);
    truncate.Close();
    args.insert(args.begin(), {"-progress", FfmpegFileUrl(progressPath)});
  }

  // Created here first so a folder that cannot take it is reported before
  // ffmpeg is started; the child reopens it as its output.
  const std::filesystem::path logPath = folder / "ffmpeg-last.log";
  {
    File log;
    if (!log.OpenWrite(logPath)) {
      output = "[vesk] 无法创建 ffmpeg 日志文件，ffmpeg 尚未运行。\n路径：" + PathToUtf8(logPath) +
               "\n系统错误码：" + std::to_string(LastSystemError()) + "（目录不可写或被杀毒软件拦截）";
      return false;
    }
  }

  ChildProcess child;
  unsigned long startError = 0;
  if (!child.Start(ffmpeg, args, logPath, &startError)) {
    output = "[vesk] ffmpeg 启动失败：" + SystemErrorText(startError) + "（系统错误码 " + std::to_string(startError) +
             "）\n路径：" + PathToUtf8(ffmpeg);
    return false;
  }

  bool timedOut = false;
  bool wasCancelled = false;
  if (!progress) {
    if (!child.Wait(timeLimitMs > 0 ? timeLimitMs : -1)) {
      timedOut = true;
      StopChild(child);
    }
  } else {
    int64_t elapsed = 0;
    while (!child.Wait(kPollMs)) {
      int64_t outTime = -1;
      double speed = 0;
      ParseFfmpegProgress(progressPath, &outTime, &speed);
      if (!progress(outTime, speed)) {
        wasCancelled = true;
        StopChild(child);
        break;
      }
      if (timeLimitMs > 0) {
        elapsed += kPollMs;
        if (elapsed >= timeLimitMs) {
          timedOut = true;
          StopChild(child);
          break;
        }
      }
    }
  }
  const int exitCode = (timedOut || wasCancelled) ? 1 : child.ExitCode();
  if (cancelled) *cancelled = wasCancelled;

  output = CutToWholeCharacters(ReadTail(logPath, kErrorTailBytes));
  if (timedOut) {
    if (!output.empty()) output += "\n";
    output += "[vesk] ffmpeg 超时，已强制结束。";
    return false;
  }
  return exitCode == 0;
}

}  // namespace vesk
