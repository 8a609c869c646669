#pragma once
// Loading code modules (shared libraries / DLLs) by path and resolving their
// exports. Modules loaded here are never unloaded: plug-in modules keep
// global state that outlives a render, and a later render reuses them.
#include <cstddef>
#include <cstdint>
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

// Why an ELF module cannot be mapped safely, in the loader's words ("file
// too short", "invalid ELF header", "ELF load command past end of file"),
// from its first bytes and the file's size; empty when it can. A module cut
// short maps segments past the end of the file, and touching them ends the
// process (SIGBUS) inside the loader, so this is checked before loading.
std::string ElfImageProblem(const uint8_t* head, size_t size, uint64_t fileSize);

}  // namespace vesk
