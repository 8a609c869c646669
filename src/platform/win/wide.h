#pragma once
// UTF-8 <-> UTF-16 at Windows API calls (Windows backends only).
#include <string>
#include <string_view>

namespace vesk {
std::wstring Utf8ToWide(std::string_view s);
std::string WideToUtf8(std::wstring_view s);
}  // namespace vesk
