#include "media/wav_format.h"

#include <cstring>

namespace vesk {

static void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

static void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

static void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

std::array<uint8_t, kWavHeaderBytes> BuildWavHeader(const AudioFormat& format, uint32_t dataBytes) {
  std::array<uint8_t, kWavHeaderBytes> h{};
  const uint16_t blockAlign = uint16_t((format.bits / 8) * format.channels);
  std::memcpy(&h[0], "RIFF", 4);
  Put32(&h[4], dataBytes + 36u);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  Put32(&h[16], 16);
  Put16(&h[20], format.bits == 32 ? 3 : 1);
  Put16(&h[22], format.channels);
  Put32(&h[24], format.sampleRate);
  Put32(&h[28], uint32_t(blockAlign) * format.sampleRate);
  Put16(&h[32], blockAlign);
  Put16(&h[34], format.bits);
  std::memcpy(&h[36], "data", 4);
  Put32(&h[40], dataBytes);
  return h;
}

std::array<uint8_t, kRf64HeaderBytes> BuildRf64Header(const AudioFormat& format, uint64_t dataBytes) {
  std::array<uint8_t, kRf64HeaderBytes> h{};
  // The canonical header's "fmt " and "data" chunks, moved behind ds64.
  const auto canonical = BuildWavHeader(format, 0xFFFFFFFFu);
  std::memcpy(&h[0], "RF64", 4);
  Put32(&h[4], 0xFFFFFFFFu);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "ds64", 4);
  Put32(&h[16], 28);
  Put64(&h[20], dataBytes + kRf64HeaderBytes - 8);  // RIFF size
  Put64(&h[28], dataBytes);
  const uint32_t frameBytes = uint32_t(format.bits / 8) * format.channels;
  Put64(&h[36], frameBytes ? dataBytes / frameBytes : 0);  // sample count
  Put32(&h[44], 0);                                         // no table
  std::memcpy(&h[48], &canonical[12], kWavHeaderBytes - 12);
  return h;
}

}  // namespace vesk
