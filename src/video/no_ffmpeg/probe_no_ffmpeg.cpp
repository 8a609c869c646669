// Builds without the FFmpeg libraries: the library stage cannot answer.
#include "video/probe_stages.h"

namespace vesk {

bool MuxHeaderTestByName(const std::string&) { return false; }

bool LibStillPicture(const std::filesystem::path&) { return false; }

bool LibProbeVideo(const std::filesystem::path&, LibProbeInfo& info, std::string& error) {
  info = LibProbeInfo{};
  error = "这个版本没有编进 FFmpeg 库，分析不了这个文件。";
  return false;
}

}  // namespace vesk
