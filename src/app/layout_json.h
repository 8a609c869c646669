#pragma once
// The window-layout dump: UTF-8 JSON with a byte-order mark and LF lines.
#include <string>
#include <vector>

namespace vesk {

struct LayoutItem {
  std::string key, cls, text;
  int id = 0;
  double x = 0, y = 0, w = 0, h = 0;  // 96-DPI units
  bool isCombo = false;
  int sel = -1;
  std::vector<std::string> options;
};

// Pixels to 96-DPI units rounded to two decimals; a DPI below 1 counts as 96.
double To96Dpi(double pixels, int dpi);

// JSON string body with control characters written as \u%04x.
std::string JsonEscape(const std::string& text);

std::string BuildLayoutJson(const std::string& app, int dpi, int clientW, int clientH,
                            const std::vector<LayoutItem>& items);

}  // namespace vesk
