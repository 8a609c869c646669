#pragma once
// Conversion of decoder output blocks into interleaved floats.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk {

// Appends `frames` frames of `sourceChannels` 32-bit floats, keeping the
// first `outChannels` of each frame and clamping to [-1, 1].
void AppendFloatFrames(const uint8_t* bytes, size_t frames, unsigned sourceChannels, unsigned outChannels,
                       std::vector<float>& out);
// The same for signed 16-bit PCM (value / 32768).
void AppendPcm16Frames(const uint8_t* bytes, size_t frames, unsigned sourceChannels, unsigned outChannels,
                       std::vector<float>& out);

// Reserves room for a decode whose container says it lasts `seconds`, with a
// small margin, so that a correct estimate never re-allocates (a long file
// would otherwise peak at twice its decoded size while the vector grows). A
// missing, absurd or unaffordable estimate reserves nothing.
void ReserveForDuration(std::vector<float>& samples, double seconds, uint32_t rate, unsigned channels);

}  // namespace vesk
