#include "denoise/denoise_engine.h"

namespace vesk {

std::vector<std::filesystem::path> DefaultVst3Folders() {
  return {"C:\\Program Files\\Common Files\\VST3", "C:\\Program Files (x86)\\Common Files\\VST3"};
}

const std::vector<std::string>& BundleSubFolders() {
  static const std::vector<std::string> subs = {"Contents\\x86_64-win\\", "Contents\\x86_64\\", "Contents\\x86-win\\",
                                                "Contents\\"};
  return subs;
}

int ModuleArchFromHeader(const uint8_t* bytes, size_t size) { return PeArchOf(bytes, size); }

const char* BundleModuleSuffix() { return ".vst3"; }

int NativeArch() { return sizeof(void*) == 8 ? 1 : 2; }

}  // namespace vesk
