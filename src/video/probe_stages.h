#pragma once
// The stages ProbeVideo combines. The system reader exists on Windows only;
// the library stage needs the FFmpeg libraries (a stand-in fails without).
#include <string>

#include "video/media_probe.h"

namespace vesk {

struct SystemProbeInfo {
  bool hasVideo = false;
  uint32_t videoStream = 0;
  MediaSubtype subtype{};
  double duration = 0;
};
// False when the system reader cannot open the file (or there is none).
bool SystemReaderProbe(const std::filesystem::path& path, SystemProbeInfo& info);

struct LibProbeInfo {
  bool hasVideo = false;
  bool canMux = false;
  std::string codec;
  double duration = 0;
};
// Opens the file with the FFmpeg libraries: first picture stream that is not
// an attached picture, its codec name and header test, container duration.
bool LibProbeVideo(const std::filesystem::path& path, LibProbeInfo& info, std::string& error);

// True when the file's picture is a single frame (a cover or a title card):
// an attached picture, a frame count of one, or one picture packet among
// the first 2000 packets.
bool LibStillPicture(const std::filesystem::path& path);

// The header test for a named video codec at 1280x720, time base 1/1000,
// 25 fps (what the system-reader stage knows of a picture).
bool MuxHeaderTestByName(const std::string& codecName);

// True when the pass-through engine of this platform takes an H.264 picture
// the library stage found (it does not need a system subtype).
bool PassThroughFromLibProbe();

}  // namespace vesk
