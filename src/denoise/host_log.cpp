#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "denoise/vst3_host.h"
#include "platform/append_file.h"
#include "platform/folders.h"

namespace vesk {

bool HostLogEnabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("VESK_VST3_HOST_LOG");
    return v && *v;
  }();
  return enabled;
}

std::filesystem::path HostLogPath() { return DataFolder() / "vst3-host.log"; }

void HostLog(const char* format, ...) {
  if (!HostLogEnabled()) return;
  va_list args;
  va_start(args, format);
  char small[1024];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  std::string line;
  if (n >= 0 && size_t(n) < sizeof small) {
    line.assign(small, size_t(n));
  } else if (n >= 0) {
    line.resize(size_t(n));
    std::vsnprintf(line.data(), size_t(n) + 1, format, args);
  }
  va_end(args);
  line += '\n';
  AppendToFile(HostLogPath(), line);
}

std::string NarrowToAscii(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = (unsigned char)utf8[i];
    if (c < 0x80) {
      out += char(c);
      ++i;
      continue;
    }
    // A four-byte sequence is two UTF-16 units.
    const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    out += len == 4 ? "??" : "?";
    i += len;
  }
  return out;
}

}  // namespace vesk
