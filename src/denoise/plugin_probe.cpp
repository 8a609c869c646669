#include "denoise/plugin_probe.h"

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <system_error>

#include "denoise/vst3_host.h"
#include "platform/file.h"
#include "platform/file_ops.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

// One probe at a time: a second render asking about the same module waits
// and then finds the verdict in the file.
std::mutex probeMutex;

// The file keeps the most recent verdicts only.
constexpr size_t kMaxRecords = 64;

const char* const kOutcomeNames[] = {"passed", "failed", "crashed", "hung"};

bool OutcomeFromName(const std::string& name, ProbeOutcome& outcome) {
  for (size_t i = 0; i < 4; ++i)
    if (name == kOutcomeNames[i]) {
      outcome = ProbeOutcome(i);
      return true;
    }
  return false;
}

bool ParseNumber(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return end && *end == '\0';
}

std::vector<std::string> SplitTabs(const std::string& line, size_t parts) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (fields.size() + 1 < parts) {
    const size_t tab = line.find('\t', start);
    if (tab == std::string::npos) return {};
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  fields.push_back(line.substr(start));  // the path, which may hold tabs itself
  return fields;
}

std::string NoTabs(std::string text) {
  for (char& c : text)
    if (c == '\t') c = ' ';
  return OneLineValue(text);
}

fs::path BookOf(const DenoiseEngine& engine) {
  return engine.probeBook.empty() ? DefaultProbeBook() : engine.probeBook;
}

std::vector<ProbeRecord> ReadBook(const fs::path& book) {
  std::string text;
  return ReadWholeFile(book, text) ? ParseProbeRecords(text) : std::vector<ProbeRecord>{};
}

const ProbeRecord* FindRecord(const std::vector<ProbeRecord>& records, const fs::path& module) {
  for (const ProbeRecord& r : records)
    if (r.module == module) return &r;
  return nullptr;
}

}  // namespace

bool ReadModuleStamp(const fs::path& module, ModuleStamp& stamp) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(module, ec);
  if (ec) return false;
  const fs::file_time_type modified = fs::last_write_time(module, ec);
  if (ec) return false;
  stamp.size = uint64_t(size);
  stamp.modified = int64_t(modified.time_since_epoch().count());
  return true;
}

std::vector<ProbeRecord> ParseProbeRecords(const std::string& text) {
  std::vector<ProbeRecord> records;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> f = SplitTabs(line, 6);
    ProbeRecord r;
    int64_t size = 0, modified = 0, ever = 0;
    if (f.empty() || !OutcomeFromName(f[0], r.outcome) || !ParseNumber(f[1], size) || size < 0 ||
        !ParseNumber(f[2], modified) || !ParseNumber(f[3], ever) || f[5].empty())
      continue;
    r.stamp = {uint64_t(size), modified};
    r.everFailed = ever != 0 || r.outcome != ProbeOutcome::Passed;
    r.reason = f[4];
    r.module = PathFromUtf8(f[5]);
    records.push_back(std::move(r));
  }
  return records;
}

std::string FormatProbeRecords(const std::vector<ProbeRecord>& records) {
  std::string text;
  for (const ProbeRecord& r : records) {
    const std::string path = PathToUtf8(r.module);
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) continue;
    text += Format("%s\t%llu\t%lld\t%d\t", kOutcomeNames[int(r.outcome)], (unsigned long long)r.stamp.size,
                   (long long)r.stamp.modified, r.everFailed ? 1 : 0);
    text += NoTabs(r.reason) + "\t" + path + "\n";
  }
  return text;
}

fs::path DefaultProbeBook() { return DataFolder() / "plugin-probes.txt"; }

ProbeVerdict ProbeModule(const fs::path& helper, const fs::path& module, int64_t timeoutMs) {
  // One block of quiet noise, mono: enough to load the module, create the
  // component and call process once.
  std::vector<float> block(kRenderBlockFrames);
  uint32_t seed = 1;
  for (float& s : block) {
    seed = seed * 1664525u + 1013904223u;
    s = 0.001f * (float(seed >> 8) / float(1u << 24) - 0.5f);
  }
  const HelperExchange x = ExchangeWithHelper(helper, module, block, 48000, 1, 0.0, timeoutMs);
  ProbeVerdict v;
  v.probed = true;
  switch (x.end) {
    case HelperExchange::End::Done:
      v.outcome = ProbeOutcome::Passed;
      break;
    case HelperExchange::End::Crashed:
      v.outcome = ProbeOutcome::Crashed;
      v.reason = "试运行时崩溃（" + DescribeHelperExit(x.exitCode) + "）";
      if (!x.text.empty()) v.reason += "：" + x.text;
      break;
    case HelperExchange::End::TimedOut:
      v.outcome = ProbeOutcome::Hung;
      v.reason = Format("试运行 %.0f 秒没有结束，已停止它", std::ceil(double(timeoutMs) / 1000.0));
      break;
    case HelperExchange::End::NotStarted:
      v.outcome = ProbeOutcome::Failed;
      v.reason = "起不动试运行用的辅助程序（错误码 " + std::to_string(x.startError) + "）";
      break;
    default:
      v.outcome = ProbeOutcome::Failed;
      // The helper's own report carries the host's text, with the loader's
      // reason for a module that cannot be loaded.
      v.reason = x.text.empty() ? "试运行失败（辅助程序退出码 " + std::to_string(x.exitCode) + "）" : x.text;
      break;
  }
  v.everFailed = v.outcome != ProbeOutcome::Passed;
  return v;
}

ProbeVerdict CheckPluginModule(const DenoiseEngine& engine, const HelperPlaces& places) {
  ProbeVerdict v;
  ModuleStamp stamp;
  if (!ReadModuleStamp(engine.modulePath, stamp)) {
    v.outcome = ProbeOutcome::Failed;
    v.reason = "读不到模块文件：" + PathToUtf8(engine.modulePath);
    return v;
  }
  std::lock_guard<std::mutex> lock(probeMutex);
  const fs::path book = BookOf(engine);
  std::vector<ProbeRecord> records = ReadBook(book);
  const ProbeRecord* known = FindRecord(records, engine.modulePath);
  if (known && known->stamp == stamp) {
    v.outcome = known->outcome;
    v.reason = known->reason;
    v.everFailed = known->everFailed;
    return v;
  }
  const bool failedBefore = known && known->everFailed;
  const fs::path helper = LocateOwnArchHelper(places);
  if (helper.empty() || ReadProductVersion(helper) != places.mainVersion || places.mainVersion.empty()) {
    // Nothing to probe with: the module is loaded as before, untried.
    v.everFailed = failedBefore;
    return v;
  }
  v = ProbeModule(helper, engine.modulePath, engine.probeTimeoutMs);
  v.everFailed = v.everFailed || failedBefore;
  ProbeRecord r{engine.modulePath, stamp, v.outcome, v.reason, v.everFailed};
  std::erase_if(records, [&](const ProbeRecord& old) { return old.module == engine.modulePath; });
  records.push_back(std::move(r));
  if (records.size() > kMaxRecords) records.erase(records.begin(), records.end() - ptrdiff_t(kMaxRecords));
  ReplaceFileContents(book, FormatProbeRecords(records));
  return v;
}

bool PluginIsolationOn(int isolateChoice, bool everFailed) {
  return isolateChoice == 1 || (isolateChoice != 0 && everFailed);
}

bool PluginProbeEverFailed(const DenoiseEngine& engine) {
  if (engine.modulePath.empty()) return false;
  std::lock_guard<std::mutex> lock(probeMutex);
  const std::vector<ProbeRecord> records = ReadBook(BookOf(engine));
  const ProbeRecord* known = FindRecord(records, engine.modulePath);
  return known && known->everFailed;
}

}  // namespace vesk
