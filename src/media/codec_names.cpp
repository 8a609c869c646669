#include "media/codec_names.h"

#include <cstring>

namespace vesk {

MediaGuid SubtypeFromCode(uint32_t code) {
  return MediaGuid{code, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

uint32_t FourCc(const char code[4]) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
         uint32_t(uint8_t(code[3])) << 24;
}

std::string SubtypeDisplayName(const MediaGuid& subtype) {
  static const MediaGuid kAc3{0xE06D802C, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};
  static const MediaGuid kVorbis{0x8D2FD10B, 0x5841, 0x4A6B, {0x89, 0x05, 0x58, 0x8F, 0xEC, 0x1A, 0xDE, 0xD9}};
  if (subtype == kAc3) return "AC3";
  if (subtype == kVorbis) return "Vorbis";
  struct Entry {
    uint32_t code;
    const char* name;
  };
  static const Entry kTable[] = {
      {FourCc("H264"), "H.264"}, {FourCc("HEVC"), "HEVC(H.265)"}, {FourCc("VP80"), "VP8/VP9"},
      {FourCc("VP90"), "VP8/VP9"}, {FourCc("AV01"), "AV1"},        {0x1610, "AAC"},
      {0x0055, "MP3"},           {0x0001, "PCM"},                {0x0003, "PCM 浮点"},
      {0x704F, "Opus"},
  };
  for (const Entry& e : kTable)
    if (subtype == SubtypeFromCode(e.code)) return e.name;
  return "未知编码";
}

std::string VideoCodecDisplayName(std::string_view name) {
  struct Entry {
    const char* libraryName;
    const char* displayName;
  };
  static const Entry kTable[] = {
      {"mpeg1video", "MPEG-1"}, {"mpeg2video", "MPEG-2"},
      {"h263", "H.263"},        {"rv10", "RealVideo"},
      {"rv20", "RealVideo"},    {"rv30", "RealVideo"},
      {"rv40", "RealVideo"},    {"mjpeg", "MJPEG"},
      {"mpeg4", "MPEG-4"},      {"msmpeg4v3", "MS MPEG-4 v3"},
      {"wmv2", "WMV"},          {"wmv3", "WMV"},
      {"flv1", "Sorenson H.263（FLV）"}, {"dvvideo", "DV"},
      {"h264", "H.264"},        {"theora", "Theora"},
      {"vc1", "VC-1"},          {"vp6", "VP6"},
      {"vp6f", "VP6"},          {"vp6a", "VP6"},
      {"vp8", "VP8/VP9"},       {"vp9", "VP8/VP9"},
      {"prores", "ProRes"},     {"hevc", "HEVC(H.265)"},
      {"av1", "AV1"},
  };
  for (const Entry& e : kTable)
    if (name == e.libraryName) return e.displayName;
  return std::string(name);
}

}  // namespace vesk
