#include "app/layout_json.h"

#include <cmath>

#include "platform/text.h"

namespace vesk {

double To96Dpi(double pixels, int dpi) {
  if (dpi < 1) dpi = 96;
  return std::round(pixels * 96.0 / dpi * 100.0) / 100.0;
}

std::string JsonEscape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      out += Format("\\u%04x", c);
    } else {
      out += char(c);
    }
  }
  return out;
}

std::string BuildLayoutJson(const std::string& app, int dpi, int clientW, int clientH,
                            const std::vector<LayoutItem>& items) {
  std::string j = "\xEF\xBB\xBF{\n";
  j += "  \"app\": \"" + JsonEscape(app) + "\",\n";
  j += Format("  \"dpi\": %d,\n", dpi);
  j += Format("  \"client\": {\"w\": %d, \"h\": %d},\n", clientW, clientH);
  j += "  \"items\": [\n";
  for (size_t i = 0; i < items.size(); ++i) {
    const LayoutItem& it = items[i];
    j += "    {\"key\": \"" + JsonEscape(it.key) + "\", \"cls\": \"" + JsonEscape(it.cls) +
         Format("\", \"id\": %d, \"text\": \"", it.id) + JsonEscape(it.text) +
         Format("\", \"x\": %.2f, \"y\": %.2f, \"w\": %.2f, \"h\": %.2f", it.x, it.y, it.w, it.h);
    if (it.isCombo) {
      j += Format(", \"sel\": %d, \"opts\": [", it.sel);
      for (size_t k = 0; k < it.options.size(); ++k)
        j += (k ? ", \"" : "\"") + JsonEscape(it.options[k]) + "\"";
      j += "]";
    }
    j += i + 1 < items.size() ? "},\n" : "}\n";
  }
  j += "  ]\n}\n";
  return j;
}

}  // namespace vesk
