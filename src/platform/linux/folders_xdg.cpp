#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/file.h"
#include "platform/folders.h"

namespace vesk {
namespace fs = std::filesystem;

static fs::path EnvPath(const char* name) {
  const char* v = std::getenv(name);
  return (v && *v) ? fs::path(v) : fs::path();
}

static fs::path Home() { return EnvPath("HOME"); }

fs::path ProgramDir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec) : exe.parent_path();
}

fs::path RoamingAppDataDir() {
  fs::path p = EnvPath("XDG_CONFIG_HOME");
  if (p.is_absolute()) return p;
  return Home().empty() ? fs::path() : Home() / ".config";
}

fs::path LocalAppDataDir() {
  fs::path p = EnvPath("XDG_DATA_HOME");
  if (p.is_absolute()) return p;
  return Home().empty() ? fs::path() : Home() / ".local" / "share";
}

// Reads XDG_<KEY>_DIR from user-dirs.dirs ("$HOME/..." or an absolute path).
static fs::path UserDir(const char* key, const char* fallback) {
  const fs::path home = Home();
  std::string text;
  if (ReadWholeFile(RoamingAppDataDir() / "user-dirs.dirs", text)) {
    const std::string prefix = std::string("XDG_") + key + "_DIR=\"";
    size_t pos = 0;
    while ((pos = text.find(prefix, pos)) != std::string::npos) {
      if (pos == 0 || text[pos - 1] == '\n') {
        const size_t start = pos + prefix.size();
        const size_t end = text.find('"', start);
        if (end == std::string::npos) break;
        std::string value = text.substr(start, end - start);
        if (value.rfind("$HOME", 0) == 0) return home / value.substr(value.size() > 5 ? 6 : 5);
        if (!value.empty() && value[0] == '/') return fs::path(value);
        break;
      }
      pos += prefix.size();
    }
  }
  return home.empty() ? fs::path() : home / fallback;
}

fs::path DocumentsDir() { return UserDir("DOCUMENTS", "Documents"); }
fs::path DesktopDir() { return UserDir("DESKTOP", "Desktop"); }

fs::path TempDir() {
  fs::path p = EnvPath("TMPDIR");
  return p.is_absolute() ? p : fs::path("/tmp");
}

bool CanCreateFileIn(const fs::path& dir, const char* probeName) {
  if (dir.empty()) return false;
  const fs::path probe = dir / probeName;
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::unlink(probe.c_str());
  ::close(fd);
  return true;
}

}  // namespace vesk
