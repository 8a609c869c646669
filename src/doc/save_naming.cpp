#include "doc/save_naming.h"

#include <algorithm>
#include <cmath>
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
  return ProposedSavePathAs(folder, stem, mp3 ? ".mp3" : ".wav");
}

std::filesystem::path ProposedSavePathAs(const std::filesystem::path& folder, const std::string& stem,
                                         const std::string& ext) {
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

namespace vesk {

uint32_t SaveTargetRate(uint32_t documentRate, uint32_t requestedRate, bool mp3) {
  static constexpr uint32_t kMp3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  const uint32_t rate = requestedRate ? requestedRate : documentRate;
  if (mp3 && std::find(std::begin(kMp3Rates), std::end(kMp3Rates), rate) == std::end(kMp3Rates)) return 48000;
  return rate;
}

std::string FormatClipDuration(double seconds) {
  const long long tenths = seconds > 0 ? static_cast<long long>(std::floor(seconds * 10.0 + 1e-6)) : 0;
  return Format("%02lld:%02lld:%02lld.%lld", tenths / 36000, tenths / 600 % 60, tenths / 10 % 60, tenths % 10);
}

}  // namespace vesk
