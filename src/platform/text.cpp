#include "platform/text.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace vesk {

static char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

long ParseLong32(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t value = 0;
  bool overflow = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > int64_t(INT32_MAX) + 1) overflow = true, value = int64_t(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (overflow || value > INT32_MAX || value < INT32_MIN) return negative ? INT32_MIN : INT32_MAX;
  return long(value);
}

std::string OneLineValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list copy;
  va_copy(copy, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(size_t(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, ap);
    out.resize(size_t(n));
  }
  va_end(ap);
  return out;
}

std::string FormatFileSize(uint64_t bytes) {
  constexpr double kKiB = 1024.0;
  if (bytes < 1024) return Format("%llu B", static_cast<unsigned long long>(bytes));
  if (bytes < 1024ull * 1024) return Format("%.1f KB", double(bytes) / kKiB);
  if (bytes < 1024ull * 1024 * 1024) return Format("%.1f MB", double(bytes) / (kKiB * kKiB));
  return Format("%.2f GB", double(bytes) / (kKiB * kKiB * kKiB));
}

}  // namespace vesk
