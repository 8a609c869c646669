#pragma once
// Hand-built WAV files for the reader, loader and recovery tests: the
// chunks are written field by field, so a test can put any value anywhere.
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace vesk::test {

struct FmtSpec {
  uint16_t tag = 1;
  uint16_t channels = 2;
  uint32_t rate = 48000;
  uint16_t bits = 16;
  uint32_t fmtSize = 16;
  uint16_t subTag = 0;  // extensible sub-format's first two bytes
};

// "RIFF", `riffSize`, "WAVE".
std::vector<uint8_t> RiffStart(uint32_t riffSize = 0);
// A "fmt " chunk; byte and block rates follow from rate, channels and bits.
void AppendFmt(std::vector<uint8_t>& v, const FmtSpec& f);
// RiffStart(riffSize), "fmt ", then "data" declaring `declared` bytes and
// holding `data`.
std::vector<uint8_t> MakeWav(const FmtSpec& f, const std::vector<uint8_t>& data, uint32_t declared,
                             uint32_t riffSize = 0);
// Little-endian 16-bit samples; floats are scaled by 32767.
std::vector<uint8_t> Pcm16(std::initializer_list<int16_t> values);
std::vector<uint8_t> Pcm16(const std::vector<float>& values);

}  // namespace vesk::test
