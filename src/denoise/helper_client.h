#pragma once
// The main program's side of the 32-bit helper protocol: finding (or
// writing out) the helper program, exchanging samples through temporary
// files and reading its report.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "denoise/denoise_engine.h"

namespace vesk {

// Where the helper is looked for and written to; the defaults are the
// program's own folder and the per-user data root + "VeskRecorder".
struct HelperPlaces {
  std::filesystem::path programDir;
  std::filesystem::path userDir;
  std::string mainVersion;
};
HelperPlaces DefaultHelperPlaces();

std::filesystem::path LocateHelper();
std::filesystem::path LocateHelper(const HelperPlaces& places);
std::filesystem::path ExtractEmbeddedHelper(const HelperPlaces& places);
std::filesystem::path MakeHelperTempPath(const char* tag);
std::string ReadHelperError(const std::filesystem::path& report);

bool RunHelperDenoise(DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                      std::string& error, unsigned level);
bool RunHelperDenoise(const HelperPlaces& places, DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate,
                      uint32_t channels, std::string& error, unsigned level);

// The helper's file name on this platform ("VeskDenoise32[.exe]").
const char* HelperFileName();
// The product version of a program file (Windows: the version resource;
// Linux: the "VESK-PRODUCT-VERSION=" marker compiled into the helper).
std::string ReadProductVersion(const std::filesystem::path& program);
// This program's own product version.
std::string OwnProductVersion();
// The helper copy carried by this program; false when it carries none.
bool LoadEmbeddedHelper(std::string& bytes);
// Marks a freshly written helper copy as runnable (Linux: mode 0755).
bool MakeRunnable(const std::filesystem::path& path);

// Sample exchanges of 2 GiB or more are refused: the helper is a 32-bit
// process.
inline constexpr uint64_t kHelperMaxBytes = 1ull << 31;
inline constexpr bool HelperExchangeFits(uint64_t sampleCount) { return sampleCount * 4 < kHelperMaxBytes; }

}  // namespace vesk
