// Stand-ins for builds without the FFmpeg libraries: the system reader was
// the last chance, so say so plainly (after the checks any decoder makes).
#include <system_error>

#include "media/ffmpeg_decoder.h"

namespace vesk {

namespace {

std::string Unavailable(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return "这是一个文件夹，不是音频文件。";
  if (!std::filesystem::exists(path, ec)) return "找不到这个文件。";
  return "系统解码器打不开这个文件，这个版本也没有内置 FFmpeg 解码库，解不了这种格式。";
}

}  // namespace

bool DecodeWithFfmpeg(const std::filesystem::path& path, int32_t, AudioFormat&, std::vector<float>& samples,
                      std::string& error, int* sourceBits, SampleSpill*) {
  samples.clear();
  if (sourceBits) *sourceBits = 0;
  error = Unavailable(path);
  return false;
}

bool ListAudioTracksWithFfmpeg(const std::filesystem::path& path, std::vector<AudioTrack>& tracks,
                               std::string& error) {
  tracks.clear();
  error = Unavailable(path);
  return false;
}

bool DecodeAuditionWithFfmpeg(const std::filesystem::path& path, int32_t, double, double, AudioFormat&,
                              std::vector<float>& samples, bool& allSilent, std::string& error) {
  samples.clear();
  allSilent = false;
  error = Unavailable(path);
  return false;
}

bool ProbeVideoWithFfmpeg(const std::filesystem::path& path, FfmpegVideoProbe& probe, std::string& error,
                          MuxHeaderTestFn) {
  probe = FfmpegVideoProbe{};
  error = Unavailable(path);
  return false;
}

}  // namespace vesk
