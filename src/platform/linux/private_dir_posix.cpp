#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/folders.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

// Creates `dir` with mode 0700, or accepts an existing one only when it is a
// real folder (not a link) owned by this user; group and other rights are
// taken away. Checked on the opened folder, so it cannot be swapped between
// the check and the change.
bool OwnPrivateDir(const fs::path& dir) {
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
                  ((st.st_mode & 077) == 0 || ::fchmod(fd, 0700) == 0);
  ::close(fd);
  return ok;
}

}  // namespace

fs::path PrivateTempDir() {
  const fs::path shared = TempDir() / ("VeskRecorder-" + std::to_string(::geteuid()));
  if (OwnPrivateDir(shared)) return shared;
  // Someone else holds that name in the shared folder: use the per-user data root.
  const fs::path local = LocalAppDataDir();
  if (local.empty()) return {};
  std::error_code ec;
  fs::create_directories(local / "VeskRecorder", ec);
  const fs::path own = local / "VeskRecorder" / "tmp";
  return OwnPrivateDir(own) ? own : fs::path();
}

}  // namespace vesk
