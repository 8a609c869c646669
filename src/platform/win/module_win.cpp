#include <windows.h>

#include "platform/module.h"
#include "platform/process_info.h"
#include "platform/text.h"

namespace vesk {

ModuleLoadResult LoadModule(const std::filesystem::path& path, bool preferOwnFolder) {
  ModuleLoadResult r;
  const std::filesystem::path folder = path.parent_path();
  if (preferOwnFolder && !folder.empty()) {
    AddDllDirectory(folder.c_str());
    SetDllDirectoryW(folder.c_str());
    r.searchPathChanged = true;
  }
  HMODULE h = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!h) h = LoadLibraryW(path.c_str());
  if (!h) {
    r.systemError = GetLastError();
    // The system's own words ("... is not a valid Win32 application") say
    // more than the number.
    r.detail = PathToUtf8(path) + ": " + SystemErrorText(r.systemError);
  }
  r.handle = reinterpret_cast<void*>(h);
  return r;
}

void* ModuleSymbol(void* handle, const char* name) {
  if (!handle) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void RestoreModuleSearch() { SetDllDirectoryW(nullptr); }

}  // namespace vesk
