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

// Replaces NaN and infinities with 0 (silence): a damaged float stream would
// otherwise poison peaks, envelopes and the mix.
void ZeroNonFinite(float* samples, size_t count);

// Reserves room for a decode whose container says it lasts `seconds`, with a
// small margin, so that a correct estimate never re-allocates (a long file
// would otherwise peak at twice its decoded size while the vector grows). A
// missing, absurd or unaffordable estimate reserves nothing.
void ReserveForDuration(std::vector<float>& samples, double seconds, uint32_t rate, unsigned channels);

// Reserves room for a decode of `frames` frames that the container counts
// (an MP3 frame-count header, FLAC stream info, MP4 sample tables): only a
// few codec frames of slack. Absurd or unaffordable counts reserve nothing.
void ReserveForFrames(std::vector<float>& samples, uint64_t frames, unsigned channels);
inline constexpr uint64_t kCountedFramesSlack = 8192;

// Makes room for `more` values past the end. A reservation that falls short
// grows by half of itself (or to what is needed), not twice as the vector
// would, so a wrong estimate costs less memory at its peak.
void MakeRoom(std::vector<float>& samples, size_t more);
// Throws std::bad_alloc when `bytes` exceed the memory available now. Where
// memory is overcommitted (Linux) a reservation beyond it succeeds and the
// process is killed later while filling it; asking first turns that into
// the decoders' "内存不足。".
void RequireAvailableMemory(size_t bytes);

// After a decode: hands an unused part of the reservation back when it is
// large (after growing, or after an estimate far too long); the margin of a
// good estimate is not worth the copy.
void TrimSlack(std::vector<float>& samples);

}  // namespace vesk
