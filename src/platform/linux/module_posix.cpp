#include <dlfcn.h>

#include <cerrno>

#include "platform/module.h"

namespace vesk {

ModuleLoadResult LoadModule(const std::filesystem::path& path, bool) {
  ModuleLoadResult r;
  errno = 0;
  r.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!r.handle) {
    r.systemError = errno ? (unsigned long)errno : (unsigned long)ENOEXEC;
    if (const char* text = dlerror()) r.detail = text;
  }
  return r;
}

void* ModuleSymbol(void* handle, const char* name) { return handle ? dlsym(handle, name) : nullptr; }

void RestoreModuleSearch() {}

}  // namespace vesk
