#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/shell_open.h"
#include "platform/win/wide.h"

namespace vesk {

bool RevealFileInFolder(const std::filesystem::path& file) {
  PIDLIST_ABSOLUTE item = ILCreateFromPathW(file.wstring().c_str());
  if (item == nullptr) return false;
  const HRESULT hr = SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
  ILFree(item);
  return SUCCEEDED(hr);
}

bool OpenFolderInShell(const std::filesystem::path& folder) {
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", folder.wstring().c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

void RaiseTimerResolution() { timeBeginPeriod(1); }
void RestoreTimerResolution() { timeEndPeriod(1); }

}  // namespace vesk
