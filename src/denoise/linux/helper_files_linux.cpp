// On Linux the helper carries its version as a marker string in its binary
// (there is no version resource); the main program's own version is the one
// it was built with.
#include <sys/stat.h>

#include "denoise/helper_client.h"
#include "platform/file.h"

namespace vesk {

namespace {
constexpr char kMarker[] = "VESK-PRODUCT-VERSION=";
}

const char* HelperFileName() { return "VeskDenoise32"; }

// The Linux helper is built natively: it is the own-architecture helper too.
const char* OwnArchHelperFileName() { return HelperFileName(); }

std::string DescribeHelperExit(int exitCode) {
  // The child's status is reported as 128 + the signal number.
  if (exitCode > 128 && exitCode < 128 + 65) return "信号 " + std::to_string(exitCode - 128);
  return "退出码 " + std::to_string(exitCode);
}

std::string OwnProductVersion() { return VESK_VERSION_STRING; }

std::string ReadProductVersion(const std::filesystem::path& program) {
  std::string bytes;
  if (!ReadWholeFile(program, bytes)) return {};
  const size_t at = bytes.find(kMarker);
  if (at == std::string::npos) return {};
  const size_t start = at + sizeof kMarker - 1;
  size_t end = start;
  while (end < bytes.size() && end - start < 64 && bytes[end] != '\0') ++end;
  if (end >= bytes.size() || bytes[end] != '\0') return {};
  return bytes.substr(start, end - start);
}

bool MakeRunnable(const std::filesystem::path& path) { return ::chmod(path.c_str(), 0755) == 0; }

}  // namespace vesk
