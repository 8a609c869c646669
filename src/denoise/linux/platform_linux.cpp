#include <cstdlib>

#include "denoise/denoise_engine.h"

namespace vesk {

std::vector<std::filesystem::path> DefaultVst3Folders() {
  std::vector<std::filesystem::path> folders;
  if (const char* home = std::getenv("HOME"); home && *home) folders.push_back(std::filesystem::path(home) / ".vst3");
  folders.push_back("/usr/lib/vst3");
  folders.push_back("/usr/local/lib/vst3");
  return folders;
}

const std::vector<std::string>& BundleSubFolders() {
  static const std::vector<std::string> subs = {"Contents/x86_64-linux/", "Contents/i386-linux/"};
  return subs;
}

int ModuleArchFromHeader(const uint8_t* bytes, size_t size) { return ElfArchOf(bytes, size); }

const char* BundleModuleSuffix() { return ".so"; }

int NativeArch() { return sizeof(void*) == 8 ? 1 : 2; }

}  // namespace vesk
