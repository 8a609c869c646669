#pragma once
// Text in the system's legacy 8-bit code page ("ANSI"), as older Windows
// tools write it. On Linux it is read as GB18030, the superset of the
// Chinese code page those files come from.
#include <string>
#include <string_view>

namespace vesk {

// Converts to UTF-8. False when the bytes are not valid in that code page
// (`out` then holds what could be converted, with U+FFFD for the rest).
bool AnsiCodePageToUtf8(std::string_view bytes, std::string& out);

}  // namespace vesk
