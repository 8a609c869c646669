#include "ui/view_tables.h"

#include <algorithm>
#include <cmath>

namespace vesk::ui {

uint32_t RecordButtonColor(const ControlState& state) {
  if (!state.enabled) return 0xBDBDBD;
  return state.checked ? 0x37474F : 0xD93A32;
}

double MeterShare(float linear) {
  if (!(linear > 0.001f)) return 0;
  return std::clamp((20.0 * std::log10(double(linear)) + 60.0) / 60.0, 0.0, 1.0);
}

const char* TextViewKey(TextView view) {
  switch (view) {
    case TextView::Status: return "status";
    case TextView::Size: return "size";
    case TextView::MeterInfo: return "meterInfo";
    case TextView::Clock: return "clock";
    case TextView::EditorInfo: return "editorInfo";
  }
  return "";
}

}  // namespace vesk::ui
