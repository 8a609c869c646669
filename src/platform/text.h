#pragma once
// Text helpers shared by every subsystem. Text in memory is UTF-8; paths are
// std::filesystem::path and are converted only here.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vesk {

inline std::filesystem::path PathFromUtf8(std::string_view s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

inline std::string PathToUtf8(const std::filesystem::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

// ASCII-only case-insensitive comparison (option names, file extensions).
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string AsciiLower(std::string_view s);

// The standard wide-string-to-long conversion as the Windows C runtime does it:
// leading white space, an optional sign, then decimal digits; no digits gives
// 0; results outside the 32-bit range saturate at its ends.
long ParseLong32(std::string_view s);

// A value for a one-line "key=value" record: every line break (CR LF, CR or
// LF) becomes the two characters "\n", so a value can never start a line of
// its own. Text without line breaks is returned unchanged.
std::string OneLineValue(std::string_view value);
// "%llu B" below 1024 bytes, then "%.1f KB", "%.1f MB", "%.2f GB" (units of 1024).
std::string FormatFileSize(uint64_t bytes);

// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vesk
