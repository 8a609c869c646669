#include "video/pass_through.h"

#include <cmath>

#include "media/resample.h"
#include "video/ffmpeg_export.h"
#include "video/media_probe.h"

namespace vesk {

int64_t PassThroughFrameCount(int64_t realFrames, uint32_t rate, double duration) {
  return duration > 0 ? std::llround(double(rate) * duration) : realFrames;
}

bool ExportVideoPassThrough(const std::filesystem::path& source, const std::vector<float>& samples,
                            const AudioFormat& format, const VideoEditedExportOptions& options,
                            const std::filesystem::path& output, std::string& error, double* duration) {
  error.clear();
  if (duration) *duration = 0;
  if (samples.empty() || format.channels == 0) {
    error = "剪辑区里没有音频，没法装回视频。";
    return false;
  }
  // Both engines create the output while still reading the source.
  if (SameFileAsSource(source, output)) {
    error = "输出文件不能和源视频是同一个文件 —— 那样会把源素材写坏。请换个文件名。";
    return false;
  }
  VideoProbeResult probe;
  if (!ProbeVideo(source, probe, error, {})) return false;
  if (!probe.hasVideo) {
    error = "这个文件里没有画面（是纯音频），导出音频就行。";
    return false;
  }
  if (!probe.canExport) {
    error = "这条 MF 直通管线只支持 H.264 画面，这个文件是 " + probe.codec;
    return false;
  }
  if (duration) *duration = probe.duration;

  const uint32_t sourceRate = format.sampleRate ? format.sampleRate : 48000;
  const uint32_t rate = options.sampleRate ? options.sampleRate : sourceRate;
  std::vector<float> resampled;
  const std::vector<float>* audio = &samples;
  if (rate != sourceRate) {
    if (!ResampleAudio(samples, sourceRate, rate, format.channels, resampled, error)) return false;
    audio = &resampled;
  }
  const int64_t totalFrames = PassThroughFrameCount(int64_t(audio->size() / format.channels), rate, probe.duration);
  return PassThroughWrite(source, probe.videoStream, *audio, rate, format.channels, totalFrames, options, output,
                          error);
}

}  // namespace vesk
