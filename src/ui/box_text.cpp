#include "ui/box_text.h"

#include <cstdint>

namespace vesk::ui {

std::string CapBoxText(const std::string& text) {
  std::string out;
  size_t lines = 1;
  size_t chars = 0;  // code points on the current line
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      if (lines == kBoxLines) return out + "…";
      ++lines;
      chars = 0;
      out += c;
      continue;
    }
    const bool starts = (uint8_t(c) & 0xC0) != 0x80;
    if (starts && chars == kBoxLineChars) {
      out += "…";
      while (i + 1 < text.size() && text[i + 1] != '\n') ++i;  // skip to the line's end
      ++chars;
      continue;
    }
    if (starts && chars > kBoxLineChars) continue;
    if (starts) ++chars;
    out += c;
  }
  return out;
}

}  // namespace vesk::ui
