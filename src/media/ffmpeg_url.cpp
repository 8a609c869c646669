#include "media/ffmpeg_url.h"

#include <system_error>

#include "platform/text.h"

namespace vesk {

std::string FfmpegFileUrl(const std::filesystem::path& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return "file:" + PathToUtf8(ec ? path : absolute);
}

}  // namespace vesk
