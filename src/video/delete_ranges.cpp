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

// A kept piece of the source: frames [sourceStart, sourceStart + length).
struct Piece {
  int64_t sourceStart;
  int64_t length;
};

// Removes document frames [from, to) from the pieces (document order).
void DeleteFromPieces(std::vector<Piece>& pieces, int64_t from, int64_t to) {
  std::vector<Piece> out;
  int64_t pos = 0;
  for (const Piece& p : pieces) {
    const int64_t a = pos, b = pos + p.length;
    pos = b;
    if (b <= from || a >= to) {
      out.push_back(p);
      continue;
    }
    if (a < from) out.push_back({p.sourceStart, from - a});
    if (b > to) out.push_back({p.sourceStart + (to - a), b - to});
  }
  pieces = std::move(out);
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

bool ApplyDeleteRanges(std::vector<float>& samples, const AudioFormat& format, const std::vector<FrameRange>& ranges,
                       std::string& error) {
  error.clear();
  if (format.channels == 0) {
    error = "按编辑决策表展开音频失败。";
    return false;
  }
  const int64_t sourceFrames = int64_t(samples.size() / format.channels);
  std::vector<Piece> pieces;
  if (sourceFrames > 0) pieces.push_back({0, sourceFrames});
  int64_t frames = sourceFrames;
  for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) {
    int64_t a = std::clamp<int64_t>(it->start, 0, frames);
    int64_t b = std::clamp<int64_t>(it->end, 0, frames);
    if (a > b) std::swap(a, b);
    if (a == b) continue;  // nothing selected: the delete does nothing
    DeleteFromPieces(pieces, a, b);
    frames -= b - a;
  }
  std::vector<float> rendered(size_t(sourceFrames) * format.channels, 0.0f);
  for (const Piece& p : pieces) {
    const size_t at = size_t(p.sourceStart) * format.channels;
    std::copy_n(samples.begin() + std::ptrdiff_t(at), size_t(p.length) * format.channels,
                rendered.begin() + std::ptrdiff_t(at));
  }
  samples = std::move(rendered);
  return true;
}

}  // namespace vesk
