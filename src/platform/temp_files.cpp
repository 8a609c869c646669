#include "platform/temp_files.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/file.h"
#include "platform/file_ops.h"
#include "platform/folders.h"
#include "platform/system_info.h"
#include "platform/text.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

// When this run began, as far as file times go: anything changed later may
// belong to a run that is still starting up.
const fs::file_time_type kRunStart = fs::file_time_type::clock::now();

std::atomic<unsigned> gCounter{0};

std::string RunLockName(unsigned long pid) { return Format("run-%lu.lock", pid); }

// Holds this run's lock in `dir` until the process ends (one per folder, so
// tests that move the temp folder get theirs too).
bool HoldRunLock(const fs::path& dir) {
  static std::mutex mutex;
  static std::vector<std::pair<fs::path, std::unique_ptr<File>>> held;
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto& entry : held)
    if (entry.first == dir) return true;
  auto file = std::make_unique<File>();
  if (!file->OpenWriteClaimed(dir / RunLockName(CurrentProcessId()))) return false;
  held.emplace_back(dir, std::move(file));
  return true;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(uint8_t(c))) return false;
  return true;
}

// The process id in "run-<pid>.lock", "claim-<pid>-<n>.txt" or
// "vesk-<pid>-<n>-<tag>..."; 0 for any other name.
unsigned long OwnerOf(const std::string& name) {
  std::string_view rest;
  if (name.starts_with("run-") && name.ends_with(".lock")) {
    const std::string_view pid = std::string_view(name).substr(4, name.size() - 9);
    return AllDigits(pid) ? std::strtoul(std::string(pid).c_str(), nullptr, 10) : 0;
  }
  if (name.starts_with("claim-") && name.ends_with(".txt"))
    rest = std::string_view(name).substr(6);
  else if (name.starts_with("vesk-"))
    rest = std::string_view(name).substr(5);
  else
    return 0;
  const size_t dash = rest.find('-');
  if (dash == std::string_view::npos || !AllDigits(rest.substr(0, dash))) return 0;
  return std::strtoul(std::string(rest.substr(0, dash)).c_str(), nullptr, 10);
}

bool ChangedBeforeThisRun(const fs::path& path) {
  std::error_code ec;
  const fs::file_time_type t = fs::last_write_time(path, ec);
  return !ec && t < kRunStart;
}

// Removes a regular file or a real folder (with its contents; links inside
// are removed, never followed). A link at `path` itself is left alone.
bool RemoveEntry(const fs::path& path) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(path, ec);
  if (ec) return false;
  if (fs::is_regular_file(st)) return fs::remove(path, ec) && !ec;
  if (fs::is_directory(st)) return fs::remove_all(path, ec) != static_cast<std::uintmax_t>(-1) && !ec;
  return false;
}

}  // namespace

fs::file_time_type ThisRunStart() { return kRunStart; }

fs::path PrivateTempPath(const std::string& tag) {
  const fs::path dir = PrivateTempDir();
  if (dir.empty() || !HoldRunLock(dir)) return {};
  return dir / PathFromUtf8(Format("vesk-%lu-%u-%s", CurrentProcessId(), ++gCounter, tag.c_str()));
}

bool IsProgramTemporaryName(const std::string& name) {
  if (name.starts_with(".vesk-save-") && name.size() > 11) return true;
  const size_t at = name.rfind(".vesk-audio");
  if (at == std::string::npos || at == 0 || !name.ends_with(".wav")) return false;
  const std::string_view number = std::string_view(name).substr(at + 11, name.size() - at - 15);
  return number.empty() || AllDigits(number);
}

TemporaryClaim::TemporaryClaim(const fs::path& temporary) {
  const fs::path dir = PrivateTempDir();
  if (dir.empty() || !HoldRunLock(dir)) return;
  std::error_code ec;
  const fs::path absolute = fs::absolute(temporary, ec);
  const std::string text = PathToUtf8(ec ? temporary : absolute);
  const fs::path marker = dir / PathFromUtf8(Format("claim-%lu-%u.txt", CurrentProcessId(), ++gCounter));
  File f;
  if (!f.CreateNew(marker)) return;
  if (!f.Write(text.data(), text.size())) {
    f.Close();
    fs::remove(marker, ec);
    return;
  }
  marker_ = marker;
}

TemporaryClaim::~TemporaryClaim() {
  std::error_code ec;
  if (!marker_.empty()) fs::remove(marker_, ec);
}

int32_t RemoveStaleTemporaries(std::vector<std::string>* removed) {
  if (removed) removed->clear();
  const fs::path dir = PrivateTempDir();
  // Our own lock first: another instance starting now must see this run alive.
  if (dir.empty() || !HoldRunLock(dir)) return 0;
  const unsigned long self = CurrentProcessId();
  // A run has ended when nobody holds its lock (or it has none). This run
  // counts as ended for what an earlier process with the same id left: only
  // things changed before this run began are looked at.
  struct Run {
    unsigned long pid;
    bool ended;
    std::unique_ptr<File> lock;  // held until its leftovers are gone
  };
  std::vector<Run> runs;
  const auto ended = [&](unsigned long pid) {
    for (const Run& r : runs)
      if (r.pid == pid) return r.ended;
    Run run{pid, true, nullptr};
    if (pid != self) {
      auto lock = std::make_unique<File>();
      const fs::path lockPath = dir / RunLockName(pid);
      std::error_code ec;
      if (lock->OpenExclusive(lockPath))
        run.lock = std::move(lock);
      else if (fs::exists(fs::symlink_status(lockPath, ec)))
        run.ended = false;
    }
    runs.push_back(std::move(run));
    return runs.back().ended;
  };

  int32_t count = 0;
  for (const std::string& name : ListRegularFileNames(dir)) {
    const unsigned long pid = OwnerOf(name);
    const fs::path path = dir / PathFromUtf8(name);
    if (pid == 0 || !ChangedBeforeThisRun(path)) continue;
    if (name.starts_with("run-")) {
      // A run that left nothing else still leaves its lock; looking it up
      // lets the pass below remove it.
      if (pid != self) ended(pid);
      continue;
    }
    if (!ended(pid)) continue;
    fs::path gone = path;
    if (name.starts_with("claim-")) {
      std::string target;
      if (!ReadWholeFile(path, target) || target.empty() || target.size() > 32768) continue;
      const fs::path claimed = PathFromUtf8(target);
      std::error_code ec;
      if (fs::exists(fs::symlink_status(claimed, ec))) {
        // Only a name this program makes, and only when nobody changed it
        // since this run began.
        if (!IsProgramTemporaryName(PathToUtf8(claimed.filename())) || !ChangedBeforeThisRun(claimed) ||
            !RemoveEntry(claimed))
          continue;
        ++count;
        if (removed) removed->push_back(PathToUtf8(claimed));
      }
      fs::remove(path, ec);
      continue;
    }
    if (!RemoveEntry(path)) continue;
    ++count;
    if (removed) removed->push_back(PathToUtf8(path));
  }

  // The lock of an ended run goes once nothing of it is left. Removing it
  // while it is still held keeps a new process with the same id from taking
  // the old file in between (Windows refuses that; then it is closed first).
  const std::vector<std::string> left = ListRegularFileNames(dir);
  for (Run& run : runs) {
    if (!run.lock) continue;
    bool leftovers = false;
    for (const std::string& name : left) leftovers = leftovers || (OwnerOf(name) == run.pid && !name.starts_with("run-"));
    if (leftovers) continue;
    const fs::path lockPath = dir / RunLockName(run.pid);
    std::error_code ec;
    if (!fs::remove(lockPath, ec)) {
      run.lock->Close();
      fs::remove(lockPath, ec);
    }
  }
  return count;
}

}  // namespace vesk
