#pragma once
#include <cstdint>
#include <vector>

namespace vesk {

// What the edited-video export writes: the codec of the edited track, its
// bit rate and rate, which source audio track it replaces and which source
// audio tracks are copied unchanged.
struct VideoEditedExportOptions {
  uint32_t codec = 0;             // 1 = FLAC, anything else = AAC
  uint32_t aacBitrate = 192000;   // bit/s
  uint32_t sampleRate = 0;        // Hz; 0 keeps the rate of the supplied audio
  int32_t editedOrdinal = 0;      // 0-based among the source's audio streams
  std::vector<int32_t> keep;      // source audio ordinals copied unchanged
};

}  // namespace vesk
