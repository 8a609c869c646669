#include "doc/save_naming.h"

#include <system_error>

#include "platform/text.h"

namespace vesk {

std::string ProposedSaveStem(const std::string& displayName, const LocalTime& now) {
  static const std::string kSuffix = "_剪辑";
  std::string stem = displayName.substr(0, displayName.rfind('.'));
  if (stem.empty())
    stem = Format("[VESK]%04d%02d%02d %02d-%02d-%02d", now.year, now.month, now.day, now.hour, now.minute, now.second);
  if (stem.size() < kSuffix.size() || stem.compare(stem.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
    stem += kSuffix;
  return stem;
}

std::filesystem::path ProposedSaveFolder(const std::filesystem::path& lastSaveDir,
                                         const std::filesystem::path& sourcePath,
                                         const std::filesystem::path& outputDir) {
  if (!lastSaveDir.empty()) return lastSaveDir;
  if (sourcePath.has_parent_path()) return sourcePath.parent_path();
  return outputDir;
}

std::filesystem::path ProposedSavePath(const std::filesystem::path& folder, const std::string& stem, bool mp3) {
  const std::string ext = mp3 ? ".mp3" : ".wav";
  const std::filesystem::path plain = folder / PathFromUtf8(stem + ext);
  std::error_code ec;
  if (!std::filesystem::exists(plain, ec)) return plain;
  for (int n = 2; n <= 999; ++n) {
    const std::filesystem::path candidate = folder / PathFromUtf8(stem + std::to_string(n) + ext);
    if (!std::filesystem::exists(candidate, ec)) return candidate;
  }
  return plain;
}

}  // namespace vesk

namespace vesk {

int WavExportBits(int menuBits, uint16_t sourceBits) {
  if (menuBits != 0) return menuBits;
  return sourceBits ? int(sourceBits) : 24;
}

}  // namespace vesk
