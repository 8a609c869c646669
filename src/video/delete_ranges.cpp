#include "video/delete_ranges.h"

#include <algorithm>
#include <cctype>

namespace vesk {

namespace {

// Leading blanks, optional sign, decimal digits; no digits gives 0 and
// values beyond the 64-bit range saturate.
int64_t ParseInt64(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && std::isspace(uint8_t(s[i]))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  uint64_t value = 0;
  bool overflow = false;
  for (; i < s.size() && std::isdigit(uint8_t(s[i])); ++i) {
    if (value > (UINT64_MAX - 9) / 10) overflow = true;
    value = value * 10 + uint64_t(s[i] - '0');
  }
  if (overflow || value > uint64_t(INT64_MAX)) return negative ? INT64_MIN : INT64_MAX;
  return negative ? -int64_t(value) : int64_t(value);
}

}  // namespace

std::vector<FrameRange> ParseDeleteRanges(const std::string& text) {
  std::vector<FrameRange> ranges;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    if (comma == std::string::npos) comma = text.size();
    const std::string piece = text.substr(pos, comma - pos);
    pos = comma + 1;
    const size_t dash = piece.find('-');
    if (dash == std::string::npos) continue;
    const int64_t a = ParseInt64(piece.substr(0, dash));
    const int64_t b = ParseInt64(piece.substr(dash + 1));
    if (a >= 0 && b > a) ranges.push_back({a, b});
  }
  std::sort(ranges.begin(), ranges.end(),
            [](const FrameRange& x, const FrameRange& y) { return x.start != y.start ? x.start < y.start : x.end < y.end; });
  return ranges;
}

}  // namespace vesk
