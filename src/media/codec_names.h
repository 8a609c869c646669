#pragma once
// Names of codecs as the user sees them in messages and probe results.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesk {

// A Media Foundation subtype GUID in its binary layout.
struct MediaGuid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};
  bool operator==(const MediaGuid&) const = default;
};

// Subtypes built on the base GUID {xxxxxxxx-0000-0010-8000-00AA00389B71}
// from a FourCC or a WAVE format tag.
MediaGuid SubtypeFromCode(uint32_t fourCcOrTag);
uint32_t FourCc(const char code[4]);

// "H.264", "AAC", "PCM 浮点", ...; "未知编码" for anything else.
std::string SubtypeDisplayName(const MediaGuid& subtype);

// The display name of an FFmpeg video codec given the library's codec name
// (avcodec_get_name): "H.264" for "h264", "RealVideo" for "rv10".."rv40", ...;
// any other codec keeps the library's name.
std::string VideoCodecDisplayName(std::string_view libraryCodecName);

}  // namespace vesk
