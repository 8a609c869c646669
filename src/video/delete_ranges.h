#pragma once
// The --delete option of the headless export: frame ranges removed from the
// edited audio, which then goes back onto the source timeline (deleted parts
// silent, length unchanged).
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

// Deletes the ranges from the last to the first (each clamped to the frame
// count left at that point), then lays what is left back at its source
// position with silence where frames were deleted.
bool ApplyDeleteRanges(std::vector<float>& samples, const AudioFormat& format, const std::vector<FrameRange>& ranges,
                       std::string& error);

}  // namespace vesk
