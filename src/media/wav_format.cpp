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

// The speaker mask of a `channels`-wide frame in WAVE order.
static uint32_t WavChannelMask(uint16_t channels) {
  // Front left 0x1, right 0x2, centre 0x4, LFE 0x8, back left 0x10, back
  // right 0x20, back centre 0x100, side left 0x200, side right 0x400.
  switch (channels) {
    case 3: return 0x7;
    case 4: return 0x33;
    case 5: return 0x37;
    case 6: return 0x3F;
    case 7: return 0x70F;
    case 8: return 0x63F;
    default: return 0;
  }
}

std::vector<uint8_t> BuildWavHeader(const AudioFormat& format, uint32_t dataBytes) {
  const bool extensible = format.channels > 2;
  const uint32_t fmtBytes = extensible ? 40 : 16;
  std::vector<uint8_t> h(extensible ? kWavExtensibleHeaderBytes : kWavHeaderBytes);
  const uint16_t tag = format.bits == 32 ? 3 : 1;
  const uint16_t blockAlign = uint16_t((format.bits / 8) * format.channels);
  std::memcpy(&h[0], "RIFF", 4);
  Put32(&h[4], dataBytes + uint32_t(h.size()) - 8u);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  Put32(&h[16], fmtBytes);
  Put16(&h[20], extensible ? 0xFFFE : tag);
  Put16(&h[22], format.channels);
  Put32(&h[24], format.sampleRate);
  Put32(&h[28], uint32_t(blockAlign) * format.sampleRate);
  Put16(&h[32], blockAlign);
  Put16(&h[34], format.bits);
  uint8_t* data = &h[36];
  if (extensible) {
    Put16(&h[36], 22);           // extension size
    Put16(&h[38], format.bits);  // valid bits
    Put32(&h[40], WavChannelMask(format.channels));
    // Sub-format GUID: the tag, then the fixed KSDATAFORMAT tail.
    static const uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    Put16(&h[44], tag);
    std::memcpy(&h[46], kGuidTail, sizeof kGuidTail);
    data = &h[60];
  }
  std::memcpy(data, "data", 4);
  Put32(data + 4, dataBytes);
  return h;
}

std::vector<uint8_t> BuildRf64Header(const AudioFormat& format, uint64_t dataBytes) {
  // The plain header's "fmt " and "data" chunks (extensible for more than
  // two channels), moved behind ds64.
  const auto plain = BuildWavHeader(format, 0xFFFFFFFFu);
  const size_t ds64Bytes = 36;
  std::vector<uint8_t> h(plain.size() + ds64Bytes);
  std::memcpy(&h[0], "RF64", 4);
  Put32(&h[4], 0xFFFFFFFFu);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "ds64", 4);
  Put32(&h[16], 28);
  Put64(&h[20], dataBytes + h.size() - 8);  // RIFF size
  Put64(&h[28], dataBytes);
  const uint32_t frameBytes = uint32_t(format.bits / 8) * format.channels;
  Put64(&h[36], frameBytes ? dataBytes / frameBytes : 0);  // sample count
  Put32(&h[44], 0);                                         // no table
  std::memcpy(&h[48], &plain[12], plain.size() - 12);
  return h;
}

}  // namespace vesk
