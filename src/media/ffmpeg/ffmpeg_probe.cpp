#include "media/codec_names.h"
#include "media/ffmpeg/ffmpeg_input.h"
#include "media/ffmpeg_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vesk {

bool ProbeVideoWithFfmpeg(const std::filesystem::path& path, FfmpegVideoProbe& probe, std::string& error,
                          MuxHeaderTestFn muxHeaderTest) {
  probe = FfmpegVideoProbe{};
  error.clear();
  ffmpeg::InputPtr input;
  if (!ffmpeg::OpenInput(path, input, error)) return false;
  if (input->duration > 0) probe.duration = double(input->duration) / AV_TIME_BASE;

  const AVStream* video = nullptr;
  for (unsigned i = 0; i < input->nb_streams && !video; ++i) {
    const AVStream* st = input->streams[i];
    // Cover art of an MP3 or M4A is a one-picture "video" stream.
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
      video = st;
  }
  if (!video) return true;

  probe.hasVideo = true;
  probe.codecName = avcodec_get_name(video->codecpar->codec_id);
  probe.displayName = VideoCodecDisplayName(probe.codecName);
  probe.width = video->codecpar->width;
  probe.height = video->codecpar->height;
  if (video->avg_frame_rate.num > 0 && video->avg_frame_rate.den > 0) probe.frameRate = av_q2d(video->avg_frame_rate);
  if (muxHeaderTest)
    probe.canMux = muxHeaderTest(video->codecpar, video->time_base.num, video->time_base.den,
                                 video->avg_frame_rate.num, video->avg_frame_rate.den);
  if (!(probe.duration > 0) && video->duration > 0 && video->time_base.num > 0)
    probe.duration = double(video->duration) * av_q2d(video->time_base);
  return true;
}

}  // namespace vesk
