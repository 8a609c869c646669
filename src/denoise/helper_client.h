#pragma once
// The main program's side of the helper protocol: finding (or writing out)
// the helper program, exchanging samples through temporary files and reading
// its report. Two builds of the helper speak it: the 32-bit one for 32-bit
// plug-ins, and one of this program's own architecture that tries modules
// out before they are loaded here and runs renders out of process.
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
// Writes the copy `load` yields to places.userDir / fileName unless a copy of
// the main program's version is already there.
std::filesystem::path ExtractHelperCopy(const HelperPlaces& places, const char* fileName,
                                        bool (*load)(std::string&));
std::filesystem::path MakeHelperTempPath(const char* tag);
std::string ReadHelperError(const std::filesystem::path& report);

bool RunHelperDenoise(DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                      std::string& error, unsigned level);
bool RunHelperDenoise(const HelperPlaces& places, DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate,
                      uint32_t channels, std::string& error, unsigned level);

// One helper run: the samples go through the module in the helper program.
// `timeoutMs` negative waits without limit; a helper still running then is
// killed. On Done the samples are replaced; otherwise they are unchanged.
struct HelperExchange {
  enum class End { Done, Failed, Crashed, TimedOut, NotStarted, InputNotWritten, NoMemory };
  End end = End::Failed;
  int exitCode = -1;
  unsigned long startError = 0;
  std::string text;  // Failed/Crashed: the report's error text; InputNotWritten: the path
};
HelperExchange ExchangeWithHelper(const std::filesystem::path& helper, const std::filesystem::path& module,
                                  std::vector<float>& samples, uint32_t rate, uint32_t channels, double reduction,
                                  int64_t timeoutMs);

// The helper of this program's own architecture; renders through it cost a
// failed render when the plug-in faults, never this process.
std::filesystem::path LocateOwnArchHelper(const HelperPlaces& places);
bool RunIsolatedDenoise(const HelperPlaces& places, DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate,
                        uint32_t channels, std::string& error, unsigned level);

// The helper's file name on this platform ("VeskDenoise32[.exe]").
const char* HelperFileName();
// The own-architecture helper's file name: "VeskDenoise64.exe" in the 64-bit
// Windows build; elsewhere the native helper is that build.
const char* OwnArchHelperFileName();
bool LoadEmbeddedOwnArchHelper(std::string& bytes);
// How a helper that did not end by itself ended ("信号 11", "异常 0xC0000005").
std::string DescribeHelperExit(int exitCode);
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
