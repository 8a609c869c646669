#pragma once
// The --delete option of the headless export: frame ranges removed from the
// edited audio before it goes back onto the source timeline.
#include <cstdint>
#include <string>
#include <vector>

#include "media/audio_format.h"

namespace vesk {

struct FrameRange {
  int64_t start = 0;
  int64_t end = 0;
  bool operator==(const FrameRange&) const = default;
};

// "a-b,c-d,…": a range is kept only when a >= 0 and b > a. Sorted ascending
// by start, then end; overlapping ranges are not merged.
std::vector<FrameRange> ParseDeleteRanges(const std::string& text);

}  // namespace vesk
