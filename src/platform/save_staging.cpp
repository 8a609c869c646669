#include "platform/save_staging.h"

#include <random>
#include <system_error>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/temp_files.h"
#include "platform/text.h"

namespace vesk {

namespace {

constexpr char kPrefix[] = ".vesk-save-";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
constexpr size_t kHexDigits = 16;

}  // namespace

SaveStaging::~SaveStaging() {
  // The claim (a member) ends after the folder is gone.
  if (dir_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

bool SaveStaging::Create(const std::filesystem::path& target, std::string& error) {
  std::error_code sec;
  if (IsSpecialFile(target) || std::filesystem::is_directory(target, sec)) {
    // Renaming over it would replace the user's pipe or fail on a folder.
    error = kNotRegularOutputText;
    return false;
  }
  std::filesystem::path parent = target.parent_path();
  if (parent.empty()) parent = ".";
  std::mt19937_64 random(std::random_device{}() ^ uint64_t(Now100ns()));
  for (int attempt = 0; attempt < 64; ++attempt) {
    const std::filesystem::path dir =
        parent / PathFromUtf8(vesk::Format("%s%016llx", kPrefix, static_cast<unsigned long long>(random())));
    std::error_code ec;
    auto claim = std::make_unique<TemporaryClaim>(dir);
    if (std::filesystem::create_directory(dir, ec)) {
      claim_ = std::move(claim);
      dir_ = dir;
      file_ = dir / target.filename();
      return true;
    }
    if (ec) break;  // missing folder or no permission; another name will not help
  }
  error = "无法创建输出文件（路径可能不存在或没有写权限）。";
  return false;
}

bool SaveStaging::MoveInto(const std::filesystem::path& target, std::string& error,
                           const std::filesystem::path& staged) {
  std::error_code ec;
  const std::filesystem::path& from = staged.empty() ? file_ : staged;
  std::filesystem::rename(from, target, ec);
  std::error_code state;
  if (ec && !dir_.empty() && std::filesystem::exists(std::filesystem::symlink_status(target, state))) {
    // Windows refuses to replace a file that is open, even one opened to be
    // renamed and deleted (the editor reads the clip from the file being
    // saved over). It can move that file aside, into this folder, where its
    // reader keeps it until it lets go; the folder is then left to the next
    // start's clean-up.
    const std::filesystem::path aside = dir_ / ("replaced-" + PathToUtf8(target.filename()));
    std::error_code moved;
    std::filesystem::rename(target, aside, moved);
    if (!moved) {
      std::filesystem::rename(from, target, ec);
      std::error_code back;
      if (ec) std::filesystem::rename(aside, target, back);
    }
  }
  if (ec) {
    error = "无法用新文件替换目标文件（它可能正被其他程序占用，或没有写权限）。";
    return false;
  }
  return true;
}

bool IsSaveStagingName(const std::string& name) {
  if (name.size() != kPrefixLength + kHexDigits || name.compare(0, kPrefixLength, kPrefix) != 0) return false;
  for (size_t i = kPrefixLength; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

int RemoveStaleSaveStaging(const std::filesystem::path& folder, std::filesystem::file_time_type runStart) {
  if (folder.empty()) return 0;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return 0;
  int removed = 0;
  for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    const std::filesystem::path dir = it->path();
    if (!IsSaveStagingName(PathToUtf8(dir.filename()))) continue;
    std::error_code sec;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(dir, sec))) continue;
    // Save puts exactly one regular file inside; anything else is not ours.
    bool stale = std::filesystem::last_write_time(dir, sec) < runStart && !sec;
    std::filesystem::directory_iterator inner(dir, sec);
    for (const std::filesystem::directory_iterator innerEnd; stale && !sec && inner != innerEnd;
         inner.increment(sec)) {
      std::error_code fec;
      if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(inner->path(), fec)) ||
          std::filesystem::last_write_time(inner->path(), fec) >= runStart || fec)
        stale = false;
    }
    if (!stale || sec) continue;
    std::filesystem::remove_all(dir, sec);
    if (!sec) ++removed;
  }
  return removed;
}

}  // namespace vesk
