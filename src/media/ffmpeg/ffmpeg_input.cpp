#include "media/ffmpeg/ffmpeg_input.h"

#include <mutex>
#include <system_error>

#include "media/ffmpeg_url.h"
#include "platform/file.h"
#include "platform/text.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace vesk::ffmpeg {

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0) return Format("错误码 %d", code);
  return text;
}

bool OpenInput(const std::filesystem::path& path, InputPtr& input, std::string& error) {
  static std::once_flag logLevelOnce;
  std::call_once(logLevelOnce, [] { av_log_set_level(AV_LOG_ERROR); });

  input.reset();
  std::error_code ec;
  // Opening a folder can half-succeed on some systems; it is never audio.
  if (std::filesystem::is_directory(path, ec)) {
    error = "这是一个文件夹，不是音频文件。";
    return false;
  }
  if (IsSpecialFile(path)) {
    error = kSpecialFileText;
    return false;
  }
  const std::string url = FfmpegFileUrl(path);
  AVFormatContext* context = nullptr;
  int rc = avformat_open_input(&context, url.c_str(), nullptr, nullptr);
  if (rc < 0) {
    if (std::filesystem::is_directory(path, ec))
      error = "这是一个文件夹，不是音频文件";
    else if (!std::filesystem::exists(path, ec))
      error = "找不到这个文件";
    else
      error = "打不开（" + ErrorText(rc) + "）";
    error += "。";
    return false;
  }
  input.reset(context);
  rc = avformat_find_stream_info(context, nullptr);
  if (rc < 0) {
    input.reset();
    error = "读不出文件信息（" + ErrorText(rc) + "）。";
    return false;
  }
  return true;
}

}  // namespace vesk::ffmpeg
