#pragma once
// Pure decisions of the MP3 sink, shared by every encoder backend.
#include <cstdint>
#include <string>
#include <vector>

#include "media/mp3_encoder.h"

namespace vesk {

// The type with the given rate and channel count whose bit rate
// (average bytes per second × 8 / 1000) lies nearest to `kbps`; the earlier
// type wins a tie. -1 when no type has that rate and channel count.
int ChooseMp3OutputType(const std::vector<Mp3OutputType>& types, uint32_t sampleRate, uint16_t channels,
                        uint32_t kbps);

inline int32_t Mp3TypeKbps(const Mp3OutputType& type) { return int32_t(uint64_t(type.averageBytesPerSecond) * 8 / 1000); }

// Every constant-bit-rate type an MPEG Layer III stream can carry at
// 8000–48000 Hz, mono and stereo: MPEG-1 rates with 32–320 kbps, MPEG-2 and
// MPEG-2.5 rates with their own tables. Ordered by rate, channels, bit rate.
std::vector<Mp3OutputType> StandardMp3OutputTypes();

std::string Mp3NoEncoderMessage();
std::string Mp3UnsupportedMessage(uint32_t sampleRate, uint16_t channels);

// 16-bit conversion identical to the WAV sink's: clamp, scale, round half away
// from zero, clamp.
int16_t FloatToPcm16(float v);

// Duration of one block in 100-ns units.
inline uint64_t Mp3BlockDuration(uint32_t sampleRate) {
  return sampleRate ? uint64_t(kMp3BlockFrames) * 10000000ull / sampleRate : 0;
}

}  // namespace vesk
