#pragma once
// Loading code modules (shared libraries / DLLs) by path and resolving their
// exports. Modules loaded here are never unloaded: plug-in modules keep
// global state that outlives a render, and a later render reuses them.
#include <filesystem>
#include <string>

namespace vesk {

struct ModuleLoadResult {
  void* handle = nullptr;        // null on failure
  unsigned long systemError = 0;  // OS error number on failure
  std::string detail;             // the loader's own text, when it gives one
  bool searchPathChanged = false; // RestoreModuleSearch is due afterwards
};

// Loads the module; when `preferOwnFolder` is set the module's folder is
// searched first for its dependencies (Windows; the ELF loader uses the
// module's own run path instead).
ModuleLoadResult LoadModule(const std::filesystem::path& path, bool preferOwnFolder);
// The address of an exported symbol, null when missing.
void* ModuleSymbol(void* handle, const char* name);
// Undoes the search-path change of LoadModule.
void RestoreModuleSearch();

}  // namespace vesk
