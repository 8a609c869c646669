#include "media/wav_recovery.h"

#include <array>
#include <cstring>

#include "media/wav_format.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vesk {

namespace fs = std::filesystem;

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

bool HasWavExtension(const fs::path& name) {
  return EqualsNoCase(PathToUtf8(name.extension()), ".wav");
}

// True when the file was repaired.
bool RepairOne(const fs::path& path) {
  File file;
  if (!file.OpenExclusive(path)) return false;
  const int64_t size = file.Size();
  if (size <= int64_t(kWavHeaderBytes)) return false;
  // Sizes that do not fit the 32-bit fields would be stored cut to their low
  // bits (an hour of audio announced as a second): such a file is left alone.
  if (uint64_t(size) - 8 > 0xFFFFFFFFull) return false;
  std::array<uint8_t, kWavHeaderBytes> h{};
  if (file.Read(h.data(), h.size()) != int64_t(h.size())) return false;
  if (std::memcmp(&h[0], "RIFF", 4) != 0 || std::memcmp(&h[8], "WAVE", 4) != 0 ||
      std::memcmp(&h[12], "fmt ", 4) != 0 || std::memcmp(&h[36], "data", 4) != 0)
    return false;
  const uint16_t tag = Get16(&h[20]);
  const uint16_t channels = Get16(&h[22]);
  const uint32_t rate = Get32(&h[24]);
  const uint16_t bits = Get16(&h[34]);
  if ((tag != 1 && tag != 3) || (channels != 1 && channels != 2) || rate < 4000 || rate > 384000 ||
      (bits != 8 && bits != 16 && bits != 24 && bits != 32))
    return false;
  const uint32_t riffSize = uint32_t(uint64_t(size) - 8);
  const uint32_t dataSize = uint32_t(uint64_t(size) - kWavHeaderBytes);
  if (Get32(&h[4]) == riffSize && Get32(&h[40]) == dataSize) return false;
  Put32(&h[4], riffSize);
  Put32(&h[40], dataSize);
  return file.Seek(0) && file.Write(h.data(), h.size());
}

}  // namespace

int32_t RepairUnsealedWavs(const fs::path& folder, std::vector<std::string>* repaired) {
  if (repaired) repaired->clear();
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return 0;
  int32_t count = 0;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& entry = *it;
    std::error_code typeError;
    if (entry.is_directory(typeError) || !HasWavExtension(entry.path().filename())) continue;
    if (RepairOne(entry.path())) {
      ++count;
      if (repaired) repaired->push_back(PathToUtf8(entry.path().filename()));
    }
  }
  return count;
}

}  // namespace vesk
