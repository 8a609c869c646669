// Feeds arbitrary bytes as a *.wav file to the recovery pass: it may change
// bytes 4-7 and 40-43 only, must leave the size alone, must seal what it
// reports as repaired, and must close every handle.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "media/wav_recovery.h"
#include "platform/file.h"

static int LowestFreeFd() {
  const int fd = dup(0);
  close(fd);
  return fd;
}

static uint32_t Le32(const std::string& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path folder = [] {
    auto p = std::filesystem::temp_directory_path() / ("vesk-fuzz-repair-" + std::to_string(getpid()));
    std::filesystem::create_directories(p);
    return p;
  }();
  const auto path = folder / "f.wav";
  {
    vesk::File f;
    if (!f.OpenWrite(path) || !f.Write(data, size)) return 0;
  }
  // As a file left by an earlier run: recently modified files are skipped.
  std::error_code ec;
  std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1), ec);
  const int before = LowestFreeFd();
  std::vector<std::string> names;
  const int32_t count = vesk::RepairUnsealedWavs(folder, &names);
  if (LowestFreeFd() != before) abort();
  std::string after;
  if (!vesk::ReadWholeFile(path, after) || after.size() != size) abort();
  for (size_t i = 0; i < size; ++i) {
    const bool sizeField = (i >= 4 && i < 8) || (i >= 40 && i < 44);
    if (!sizeField && uint8_t(after[i]) != data[i]) abort();
  }
  if (count != int32_t(names.size()) || count > 1) abort();
  if (count == 1 && (Le32(after, 4) != size - 8 || Le32(after, 40) != size - 44)) abort();
  if (count == 0 && after != std::string(reinterpret_cast<const char*>(data), size)) abort();
  return 0;
}
