#include "support/wav_builder.h"

#include "support/test_support.h"

namespace vesk::test {

std::vector<uint8_t> RiffStart(uint32_t riffSize) {
  std::vector<uint8_t> v;
  AppendTag(v, "RIFF");
  Append32(v, riffSize);
  AppendTag(v, "WAVE");
  return v;
}

void AppendFmt(std::vector<uint8_t>& v, const FmtSpec& f) {
  AppendTag(v, "fmt ");
  Append32(v, f.fmtSize);
  Append16(v, f.tag);
  Append16(v, f.channels);
  Append32(v, f.rate);
  Append32(v, f.rate * f.channels * f.bits / 8);
  Append16(v, uint16_t(f.channels * f.bits / 8));
  Append16(v, f.bits);
  if (f.fmtSize >= 18) {
    Append16(v, uint16_t(f.fmtSize - 18));
    // cbSize(2) validBits(2) mask(4), then the GUID from body offset 24.
    for (uint32_t off = 18; off < f.fmtSize; ++off)
      v.push_back(off == 24 ? uint8_t(f.subTag) : off == 25 ? uint8_t(f.subTag >> 8) : 0);
  }
}

std::vector<uint8_t> MakeWav(const FmtSpec& f, const std::vector<uint8_t>& data, uint32_t declared, uint32_t riffSize) {
  std::vector<uint8_t> v = RiffStart(riffSize);
  AppendFmt(v, f);
  AppendTag(v, "data");
  Append32(v, declared);
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

std::vector<uint8_t> Pcm16(std::initializer_list<int16_t> values) {
  std::vector<uint8_t> v;
  for (int16_t x : values) Append16(v, uint16_t(x));
  return v;
}

std::vector<uint8_t> Pcm16(const std::vector<float>& values) {
  std::vector<uint8_t> v;
  for (float x : values) Append16(v, uint16_t(int16_t(x * 32767)));
  return v;
}

}  // namespace vesk::test
