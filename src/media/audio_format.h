#pragma once
#include <cstdint>

namespace vesk {

// Format of interleaved samples or of a stored WAV. bits is 16, 24 or 32; 32
// always means IEEE float. Decoders report 16 and hand the source depth over
// separately.
struct AudioFormat {
  uint32_t sampleRate = 48000;
  uint16_t channels = 2;
  uint16_t bits = 16;

  bool operator==(const AudioFormat&) const = default;
};
static_assert(sizeof(AudioFormat) == 8);

}  // namespace vesk
