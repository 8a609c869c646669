#pragma once
// How a local file is named to FFmpeg, the libraries and the ffmpeg program
// alike.
#include <filesystem>
#include <string>

namespace vesk {

// "file:" followed by the absolute path (UTF-8). FFmpeg then never reads a
// name beginning with "-" as an option, nor "a:b.mp4" or "concat:x|y" as
// another protocol.
std::string FfmpegFileUrl(const std::filesystem::path& path);

}  // namespace vesk
