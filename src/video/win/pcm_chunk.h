#pragma once
// The encoder's input for one chunk: frames [first, first + n) of the edited
// audio as little-endian integers of 16, 24 (three bytes) or 32 bits, each
// value clamped to [-1, 1] and rounded; frames past the end of the audio are
// zeros. `align` is the encoder's bytes per frame (at least bits / 8 per
// channel; any rest of a frame stays zero).
#include <cstdint>
#include <vector>

namespace vesk {

void FillPcmChunk(const std::vector<float>& samples, uint16_t channels, int64_t first, int64_t n, uint32_t bits,
                  uint32_t align, std::vector<uint8_t>& out);

}  // namespace vesk
