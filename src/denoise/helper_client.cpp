#include "denoise/helper_client.h"

#include <atomic>
#include <new>
#include <system_error>

#include "platform/file.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/temp_files.h"
#include "platform/text.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> tempCounter{0};

void RemoveQuietly(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

// Deletes the exchange's files on every way out of RunHelperDenoise.
struct TempFiles {
  fs::path in, out, report;
  ~TempFiles() {
    RemoveQuietly(in);
    RemoveQuietly(out);
    RemoveQuietly(report);
  }
};

}  // namespace

HelperPlaces DefaultHelperPlaces() {
  HelperPlaces p;
  p.programDir = ProgramDir();
  const fs::path local = LocalAppDataDir();
  p.userDir = local.empty() ? fs::path("VeskRecorder") : local / "VeskRecorder";
  p.mainVersion = OwnProductVersion();
  return p;
}

fs::path LocateHelper() { return LocateHelper(DefaultHelperPlaces()); }

fs::path LocateHelper(const HelperPlaces& places) {
  const fs::path candidate = places.programDir / HelperFileName();
  std::error_code ec;
  if (fs::exists(candidate, ec) && !fs::is_directory(candidate, ec)) return candidate;
  return ExtractEmbeddedHelper(places);
}

fs::path ExtractEmbeddedHelper(const HelperPlaces& places) {
  return ExtractHelperCopy(places, HelperFileName(), LoadEmbeddedHelper);
}

fs::path ExtractHelperCopy(const HelperPlaces& places, const char* fileName, bool (*load)(std::string&)) {
  const fs::path target = places.userDir / fileName;
  std::error_code ec;
  if (!places.mainVersion.empty() && fs::exists(target, ec) && ReadProductVersion(target) == places.mainVersion)
    return target;
  std::string bytes;
  if (!load(bytes) || bytes.empty()) return {};
  fs::create_directories(places.userDir, ec);
  fs::path temp = target;
  temp += ".tmp";
  RemoveQuietly(temp);
  {
    File f;
    // A fresh file: an existing file or link of that name is never followed.
    if (!f.CreateNew(temp)) return {};
    if (!f.Write(bytes.data(), bytes.size())) {
      f.Close();
      RemoveQuietly(temp);
      return {};
    }
  }
  if (!MakeRunnable(temp)) {
    RemoveQuietly(temp);
    return {};
  }
  fs::rename(temp, target, ec);
  if (ec) {
    RemoveQuietly(temp);
    return {};
  }
  return target;
}

fs::path MakeHelperTempPath(const char* tag) {
  // In the user's private folder, where a killed exchange is found and
  // removed at the next start.
  const fs::path own = PrivateTempPath(Format("dn32-%s.bin", tag));
  if (!own.empty()) return own;
  const unsigned n = ++tempCounter;
  const std::string name = Format("vesk-dn32-%lu-%u-%s.bin", CurrentProcessId(), n, tag);
  const fs::path dir = TempDir();
  return dir.empty() ? PathFromUtf8(name) : dir / PathFromUtf8(name);
}

std::string ReadHelperError(const fs::path& report) {
  File f;
  if (!f.OpenRead(report)) return {};
  std::string text(4095, '\0');
  const int64_t got = f.Read(text.data(), text.size());
  if (got <= 0) return {};
  text.resize(size_t(got));
  const size_t at = text.find("err=");
  if (at == std::string::npos) return {};
  size_t end = text.find('\n', at);
  if (end == std::string::npos) end = text.size();
  std::string value = text.substr(at + 4, end - at - 4);
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
  return value;
}

bool RunHelperDenoise(DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                      std::string& error, unsigned level) {
  return RunHelperDenoise(DefaultHelperPlaces(), engine, samples, rate, channels, error, level);
}

HelperExchange ExchangeWithHelper(const fs::path& helper, const fs::path& module, std::vector<float>& samples,
                                  uint32_t rate, uint32_t channels, double reduction, int64_t timeoutMs) {
  HelperExchange x;
  const uint64_t bytes = uint64_t(samples.size()) * 4;
  TempFiles files;
  files.in = MakeHelperTempPath("in");
  files.out = MakeHelperTempPath("out");
  files.report = files.out;
  files.report += ".log";
  RemoveQuietly(files.in);
  RemoveQuietly(files.out);
  RemoveQuietly(files.report);
  {
    File f;
    if (!f.CreateNew(files.in) || !f.Write(samples.data(), size_t(bytes))) {
      x.end = HelperExchange::End::InputNotWritten;
      x.text = PathToUtf8(files.in);
      return x;
    }
  }

  const std::vector<std::string> args = {
      "--plugin", PathToUtf8(module),    "--in",  PathToUtf8(files.in),  "--out",       PathToUtf8(files.out),
      "--rate",   std::to_string(rate),  "--ch",  std::to_string(channels), "--reduction", Format("%.2f", reduction)};
  ChildProcess child;
  if (!child.Start(helper, args, {}, &x.startError)) {
    x.end = HelperExchange::End::NotStarted;
    return x;
  }
  if (!child.Wait(timeoutMs)) {
    child.Kill();
    x.end = HelperExchange::End::TimedOut;
    return x;
  }
  x.exitCode = child.ExitCode();

  if (x.exitCode == 0) {
    File f;
    if (f.OpenRead(files.out) && uint64_t(f.Size()) == bytes) {
      std::vector<float> processed;
      try {
        processed.resize(samples.size());
      } catch (const std::bad_alloc&) {
        x.end = HelperExchange::End::NoMemory;
        return x;
      }
      if (f.Read(processed.data(), size_t(bytes)) == int64_t(bytes)) {
        samples.swap(processed);
        x.end = HelperExchange::End::Done;
        return x;
      }
    }
  }
  x.text = ReadHelperError(files.report);
  // The helper ends with 0 or 1 on its own; any other end is a fault inside
  // it (a signal, an unhandled exception) and the report may be missing.
  x.end = x.exitCode == 0 || x.exitCode == 1 ? HelperExchange::End::Failed : HelperExchange::End::Crashed;
  return x;
}

namespace {

// The helper found and of the main program's own version; empty with `error`
// set otherwise. `missing` is the message for no helper at all.
fs::path CheckedHelper(const fs::path& helper, const char* fileName, const HelperPlaces& places,
                       const std::string& missing, std::string& error) {
  if (helper.empty()) {
    error = missing;
    return {};
  }
  const std::string helperVersion = ReadProductVersion(helper);
  if (helperVersion.empty()) {
    error = std::string("程序目录里的 ") + fileName +
            " 版本读不出来（文件不完整？）—— 删掉它，程序会自动改用内嵌的那份。";
    return {};
  }
  if (places.mainVersion.empty() || helperVersion != places.mainVersion) {
    error = std::string("程序目录里的 ") + fileName + " 是 " + helperVersion + "，跟主程序（" + places.mainVersion +
            "）对不上 —— 删掉这个文件，程序会自动改用内嵌的那份。";
    return {};
  }
  return helper;
}

// The texts one helper path gives its failures: a start that failed, the
// failure's prefix, and what a crash says (empty: a crash is a failure like
// any other).
struct ExchangeTexts {
  const char* notStarted;
  const char* failed;
  std::string crashed;
};

bool ExchangeOutcome(const HelperExchange& x, const fs::path& helper, DenoiseEngine& engine, const ExchangeTexts& t,
                     std::string& error) {
  switch (x.end) {
    case HelperExchange::End::Done:
      engine.nativeApplied = false;
      engine.nativeValue = 0;
      return true;
    case HelperExchange::End::InputNotWritten:
      error = "写临时文件失败（磁盘空间不够？）：" + x.text;
      return false;
    case HelperExchange::End::NotStarted:
      error = std::string(t.notStarted) + "（错误码 " + std::to_string(x.startError) + "）：" + PathToUtf8(helper);
      return false;
    case HelperExchange::End::NoMemory:
      error = "内存不足。";
      return false;
    default:
      if (x.end == HelperExchange::End::Crashed && !t.crashed.empty()) {
        error = t.crashed;
      } else {
        error = x.text.empty() ? std::string(t.failed) + "（辅助程序退出码 " + std::to_string(x.exitCode) + "）"
                               : std::string(t.failed) + "：" + x.text;
      }
      return false;
  }
}

}  // namespace

bool RunHelperDenoise(const HelperPlaces& places, DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate,
                      uint32_t channels, std::string& error, unsigned level) {
  const fs::path helper =
      CheckedHelper(LocateHelper(places), HelperFileName(), places,
                    "选中的是 32 位插件「" + engine.displayName +
                        "」，但辅助程序没能就位（同目录没有，内嵌的那份也释放失败），这次没有处理。",
                    error);
  if (helper.empty()) return false;
  if (!HelperExchangeFits(samples.size())) {
    error = "音频太长（超过 2 GB），32 位辅助进程这条通道处理不了";
    return false;
  }
  const HelperExchange x =
      ExchangeWithHelper(helper, engine.modulePath, samples, rate, channels, ReductionOffsetForLevel(level), -1);
  return ExchangeOutcome(x, helper, engine, {"起不动 32 位辅助程序", "32 位降噪失败", {}}, error);
}

fs::path LocateOwnArchHelper(const HelperPlaces& places) {
  const fs::path candidate = places.programDir / OwnArchHelperFileName();
  std::error_code ec;
  if (fs::exists(candidate, ec) && !fs::is_directory(candidate, ec)) return candidate;
  return ExtractHelperCopy(places, OwnArchHelperFileName(), LoadEmbeddedOwnArchHelper);
}

bool RunIsolatedDenoise(const HelperPlaces& places, DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate,
                        uint32_t channels, std::string& error, unsigned level) {
  const fs::path helper = CheckedHelper(
      LocateOwnArchHelper(places), OwnArchHelperFileName(), places,
      "插件「" + engine.displayName + "」要在独立进程里运行，但辅助程序没能就位（同目录没有，内嵌的那份也释放失败），这次没有处理。",
      error);
  if (helper.empty()) return false;
  if (uint64_t(samples.size()) * 4 >= (1ull << 32)) {
    error = "音频太长（超过 4 GB），独立进程这条通道处理不了；可以在降噪菜单里关掉「在独立进程里运行插件」。";
    return false;
  }
  const HelperExchange x =
      ExchangeWithHelper(helper, engine.modulePath, samples, rate, channels, ReductionOffsetForLevel(level), -1);
  return ExchangeOutcome(x, helper, engine,
                         {"起不动降噪辅助程序", "降噪失败",
                          "降噪插件「" + engine.displayName + "」在独立进程里崩溃了（" +
                              DescribeHelperExit(x.exitCode) + "），这次没有降噪；录音机本身不受影响。"},
                         error);
}

}  // namespace vesk
