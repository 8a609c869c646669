#include "record/mixer_switches.h"

#include <cstdlib>
#include <string_view>

namespace vesk {

bool PacingBypassValue(const char* value) { return value != nullptr && value[0] == '1'; }

int64_t LogIntervalValue(const char* value, int64_t fallback) {
  if (value == nullptr) return fallback;
  std::string_view s(value);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  if (s.empty() || s.size() > 6) return fallback;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return fallback;
    v = v * 10 + (c - '0');
  }
  return (v >= 1 && v <= 100000) ? v : fallback;
}

bool PacingBypassSwitch() {
  static const bool on = PacingBypassValue(std::getenv(kPacingBypassVariable));
  return on;
}

int64_t LogIntervalSwitch() { return LogIntervalValue(std::getenv(kLogIntervalVariable), kDefaultMixLogInterval); }

}  // namespace vesk
