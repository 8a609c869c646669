#include <dlfcn.h>

#include <cerrno>

#include <vector>

#include "platform/file.h"
#include "platform/module.h"
#include "platform/text.h"

namespace vesk {

ModuleLoadResult LoadModule(const std::filesystem::path& path, bool) {
  ModuleLoadResult r;
  {
    File f;
    std::vector<uint8_t> head(64 * 1024);
    if (f.OpenRead(path)) {
      const int64_t got = f.Read(head.data(), head.size());
      const std::string problem = ElfImageProblem(head.data(), got > 0 ? size_t(got) : 0, uint64_t(f.Size()));
      if (!problem.empty()) {
        r.systemError = ENOEXEC;
        r.detail = PathToUtf8(path) + ": " + problem;
        return r;
      }
    }
  }
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
