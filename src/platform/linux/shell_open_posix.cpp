#include <cstdlib>

#include "platform/process.h"
#include "platform/shell_open.h"

namespace vesk {
namespace {

// xdg-open returns at once on most desktops; the child is not waited for
// beyond a short moment so a slow file manager never blocks the window.
bool StartXdgOpen(const std::filesystem::path& target) {
  const char* override = std::getenv("VESK_OPEN_FOLDER_COMMAND");
  const std::filesystem::path program = (override != nullptr && *override) ? override : "/usr/bin/xdg-open";
  ChildProcess child;
  if (!child.Start(program, {target.string()}, {})) return false;
  child.Wait(2000);
  return true;
}

}  // namespace

bool RevealFileInFolder(const std::filesystem::path& file) { return StartXdgOpen(file.parent_path()); }
bool OpenFolderInShell(const std::filesystem::path& folder) { return StartXdgOpen(folder); }
void RaiseTimerResolution() {}
void RestoreTimerResolution() {}

}  // namespace vesk
