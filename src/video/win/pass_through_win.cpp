// The Media Foundation sink-writer backend is not part of this build yet.
#include "video/pass_through.h"

namespace vesk {

bool PassThroughWrite(const std::filesystem::path&, uint32_t, const std::vector<float>&, uint32_t, uint16_t, int64_t,
                      const VideoEditedExportOptions&, const std::filesystem::path&, std::string& error) {
  error = "这个版本还没有 MF 直通导出，请改用 ffmpeg 引擎（去掉 --engine mf）。";
  return false;
}

}  // namespace vesk
