#include <mutex>
#include <system_error>

#include "platform/folders.h"

namespace vesk {

static std::filesystem::path WithTrailingSeparator(std::filesystem::path p) {
  if (!p.empty() && !p.native().ends_with(std::filesystem::path::preferred_separator))
    p += std::filesystem::path::preferred_separator;
  return p;
}

static std::filesystem::path ComputeDataFolder() {
  const std::filesystem::path programDir = ProgramDir();
  // An installed program (<prefix>/bin beside <prefix>/share/VeskRecorder)
  // keeps its data per user even when it runs as root, who could write into
  // the program folder.
  std::error_code ec;
  const bool installed =
      std::filesystem::is_directory((programDir / ".." / "share" / "VeskRecorder").lexically_normal(), ec);
  if (!installed && CanCreateFileIn(programDir, "~vesk_probe.tmp")) return WithTrailingSeparator(programDir);
  const std::filesystem::path roaming = RoamingAppDataDir();
  if (!roaming.empty()) {
    std::filesystem::path dir = roaming / "VeskRecorder";
    std::filesystem::create_directories(dir, ec);
    return WithTrailingSeparator(dir);
  }
  return WithTrailingSeparator(programDir);
}

const std::filesystem::path& DataFolder() {
  static std::once_flag once;
  static std::filesystem::path folder;
  std::call_once(once, [] { folder = ComputeDataFolder(); });
  return folder;
}

}  // namespace vesk
