#include <sys/syscall.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/system_info.h"
#include "platform/text.h"

namespace vesk {

LocalTime LocalTimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm parts{};
  localtime_r(&ts.tv_sec, &parts);
  LocalTime t;
  t.year = unsigned(parts.tm_year + 1900);
  t.month = unsigned(parts.tm_mon + 1);
  t.day = unsigned(parts.tm_mday);
  t.hour = unsigned(parts.tm_hour);
  t.minute = unsigned(parts.tm_min);
  t.second = unsigned(parts.tm_sec > 59 ? 59 : parts.tm_sec);
  t.millisecond = unsigned(ts.tv_nsec / 1000000);
  return t;
}

unsigned long CurrentThreadId() { return static_cast<unsigned long>(::syscall(SYS_gettid)); }
unsigned long CurrentProcessId() { return static_cast<unsigned long>(::getpid()); }

// PRETTY_NAME from os-release, without its quotes.
static std::string DistributionName() {
  for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::string text;
    if (!ReadWholeFile(file, text)) continue;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
      std::string value = line.substr(12);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      return value;
    }
  }
  return {};
}

std::string OperatingSystemText() {
  utsname u{};
  const bool haveKernel = ::uname(&u) == 0;
  const std::string distribution = DistributionName();
  if (!haveKernel) return distribution.empty() ? "Linux（版本未知）" : distribution + "（内核版本未知）";
  std::string text = Format("%s %s", u.sysname, u.release);
  if (!distribution.empty()) text += "（" + distribution + "）";
  return text;
}

}  // namespace vesk
