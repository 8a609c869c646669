#pragma once
// Shared pieces of the FFmpeg-backed code: opening an input with the user's
// messages, and the library's error texts.
#include <filesystem>
#include <memory>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace vesk::ffmpeg {

struct InputCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

std::string ErrorText(int code);

// Opens the file and reads its stream information. Messages: a folder, a
// missing file, the library's reason; "读不出文件信息（…）。" for the streams.
bool OpenInput(const std::filesystem::path& path, InputPtr& input, std::string& error);

}  // namespace vesk::ffmpeg
