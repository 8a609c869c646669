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

// The same layout as RF64 (EBU Tech 3306) for data of any length: "RF64",
// a "ds64" chunk with the 64-bit sizes, "fmt ", then "data" whose 32-bit
// size reads 0xFFFFFFFF. Used where the reader is ffmpeg and one file must
// hold more than 4 GiB.
constexpr uint32_t kRf64HeaderBytes = 80;
std::array<uint8_t, kRf64HeaderBytes> BuildRf64Header(const AudioFormat& format, uint64_t dataBytes);

}  // namespace vesk
