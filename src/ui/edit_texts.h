#pragma once
// Texts of the edit area that carry numbers: times, the information line and
// the undo-budget warning.
#include <cstdint>
#include <string>

#include "media/audio_format.h"

namespace vesk::ui {

// Frames at `rate` (0 counts as 48000) as "%lld:%02lld.%03lld" (minutes,
// seconds, milliseconds), to the nearest millisecond.
std::string TimeText(uint64_t frames, uint32_t rate);
// Seconds as "%02d:%02d:%02d.%d" (tenths); negative counts as 0.
std::string ClockText(double seconds);

// The editor's information line: play head " / " length, the selection's
// length, rate, channels and bit depth ("有损" when the source had none).
// Empty for an empty document.
struct InfoFacts {
  uint64_t frames = 0;
  uint64_t playHead = 0;
  uint64_t selectionFrames = 0;
  AudioFormat format;
  uint16_t sourceBits = 16;
};
std::string InfoLineText(const InfoFacts& facts);

}  // namespace vesk::ui
