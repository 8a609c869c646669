#include "video/pass_through_libav.h"

namespace vesk {

bool PassThroughWriteLibav(const std::filesystem::path&, const std::vector<float>&, uint32_t, uint16_t, int64_t,
                           const VideoEditedExportOptions&, const std::filesystem::path&, std::string& error) {
  error = "这个版本没有编进 FFmpeg 库，直通导出用不了，请改用 ffmpeg 引擎。";
  return false;
}

}  // namespace vesk
