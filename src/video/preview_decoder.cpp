#include "video/preview_decoder.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "platform/file.h"

namespace vesk {

PreviewSize FitPreviewSize(int srcWidth, int srcHeight, int boxWidth, int boxHeight) {
  if (srcWidth < 1 || srcHeight < 1 || boxWidth < 1 || boxHeight < 1) return {};
  // Compare the two shapes in 64 bits: widths times heights overflow 32.
  if (int64_t(boxWidth) * srcHeight <= int64_t(boxHeight) * srcWidth) {
    const int h = int(std::llround(double(boxWidth) * srcHeight / srcWidth));
    return {boxWidth, std::clamp(h, 1, boxHeight)};
  }
  const int w = int(std::llround(double(boxHeight) * srcWidth / srcHeight));
  return {std::clamp(w, 1, boxWidth), boxHeight};
}

bool CheckPreviewFile(const std::filesystem::path& path, std::string& error) {
  std::error_code ec;
  if (path.empty()) {
    error = "没有给出视频文件。";
    return false;
  }
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) {
    error = "这是一个文件夹，不是视频文件。";
    return false;
  }
  if (!std::filesystem::exists(status)) {
    error = "找不到这个视频文件。";
    return false;
  }
  // A FIFO or device would block the decoder's open forever.
  if (IsSpecialFile(path)) {
    error = kSpecialFileText;
    return false;
  }
  return true;
}

}  // namespace vesk
