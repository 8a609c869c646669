#pragma once
// The one WAV layout every writer produces: the canonical 44-byte header
// (PCM, or IEEE float when bits == 32) directly followed by the samples; for
// more than two channels the 68-byte WAVE_FORMAT_EXTENSIBLE form with the
// speaker mask, without which readers guess (or refuse) the layout.
#include <cstdint>
#include <vector>

#include "media/audio_format.h"

namespace vesk {

constexpr uint32_t kWavHeaderBytes = 44;
constexpr uint32_t kWavExtensibleHeaderBytes = 68;

// dataBytes is the length of the sample data that follows the header; the
// RIFF size is dataBytes plus the header less 8, taken modulo 2^32. The
// extensible form names the standard speakers for 3 to 8 channels (3.0,
// quad, 5.0, 5.1 = 0x3F, 6.1, 7.1 = 0x63F) and none beyond.
std::vector<uint8_t> BuildWavHeader(const AudioFormat& format, uint32_t dataBytes);

// The same layout as RF64 (EBU Tech 3306) for data of any length: "RF64",
// a "ds64" chunk with the 64-bit sizes, "fmt ", then "data" whose 32-bit
// size reads 0xFFFFFFFF. Used where the reader is ffmpeg and one file must
// hold more than 4 GiB. 80 bytes, or 104 with the extensible "fmt ".
constexpr uint32_t kRf64HeaderBytes = 80;
constexpr uint32_t kRf64ExtensibleHeaderBytes = 104;
std::vector<uint8_t> BuildRf64Header(const AudioFormat& format, uint64_t dataBytes);

}  // namespace vesk
