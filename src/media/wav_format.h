#pragma once
// The one WAV layout every writer produces: the canonical 44-byte header
// (PCM, or IEEE float when bits == 32) directly followed by the samples.
#include <array>
#include <cstdint>

#include "media/audio_format.h"

namespace vesk {

constexpr uint32_t kWavHeaderBytes = 44;

// dataBytes is the length of the sample data that follows the header; the
// RIFF size is dataBytes + 36 taken modulo 2^32.
std::array<uint8_t, kWavHeaderBytes> BuildWavHeader(const AudioFormat& format, uint32_t dataBytes);

}  // namespace vesk
