// The FFmpeg-library stages of the media probe.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include "core/app_log.h"
#include "media/ffmpeg_url.h"
#include "platform/file.h"
#include "platform/text.h"
#include "video/ffmpeg/mux_header_test.h"
#include "video/probe_stages.h"

namespace vesk {

namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

struct InputCloser {
  AVFormatContext* ctx = nullptr;
  ~InputCloser() {
    if (ctx) avformat_close_input(&ctx);
  }
};

}  // namespace

bool MuxHeaderTest(const AVCodecParameters* params, AVRational timeBase, AVRational frameRate) {
  for (const char* container : {"mp4", "matroska"}) {
    const AVOutputFormat* format = av_guess_format(container, nullptr, nullptr);
    if (!format) {
      AppLog("[mux] %s: muxer 没编进这个库", container);
      continue;
    }
    AVFormatContext* ctx = nullptr;
    if (avformat_alloc_output_context2(&ctx, format, nullptr, nullptr) < 0 || !ctx) {
      AppLog("[mux] %s: 建不了输出上下文", container);
      continue;
    }
    AVStream* stream = avformat_new_stream(ctx, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, params) < 0) {
      AppLog("[mux] %s: 建流或拷参数失败", container);
      avformat_free_context(ctx);
      continue;
    }
    stream->codecpar->codec_tag = 0;  // the source container's tag means nothing here
    stream->time_base = timeBase;
    if (frameRate.num > 0 && frameRate.den > 0) stream->avg_frame_rate = frameRate;
    if (avio_open_dyn_buf(&ctx->pb) < 0) {
      AppLog("[mux] %s: 开不了内存输出", container);
      avformat_free_context(ctx);
      continue;
    }
    AVDictionary* quiet = nullptr;
    const int rc = avformat_write_header(ctx, &quiet);
    av_dict_free(&quiet);
    AppLog("[mux] %s: codec=%d %dx%d tb=%d/%d fr=%d/%d extradata=%d -> %s(%d)", container, int(params->codec_id),
           params->width, params->height, timeBase.num, timeBase.den, frameRate.num, frameRate.den,
           params->extradata_size, rc >= 0 ? "OK" : "FAIL", rc);
    uint8_t* buffer = nullptr;
    avio_close_dyn_buf(ctx->pb, &buffer);
    av_free(buffer);
    ctx->pb = nullptr;
    avformat_free_context(ctx);
    if (rc >= 0) return true;
  }
  return false;
}

bool MuxHeaderTestByName(const std::string& codecName) {
  const AVCodecDescriptor* d = avcodec_descriptor_get_by_name(codecName.c_str());
  if (!d || d->type != AVMEDIA_TYPE_VIDEO) return false;
  AVCodecParameters* params = avcodec_parameters_alloc();
  if (!params) return false;
  params->codec_type = AVMEDIA_TYPE_VIDEO;
  params->codec_id = d->id;
  params->width = 1280;
  params->height = 720;
  const bool ok = MuxHeaderTest(params, AVRational{1, 1000}, AVRational{25, 1});
  avcodec_parameters_free(&params);
  return ok;
}

bool LibProbeVideo(const std::filesystem::path& path, LibProbeInfo& info, std::string& error) {
  info = LibProbeInfo{};
  error.clear();
  if (IsSpecialFile(path)) {
    error = kSpecialFileText;
    return false;
  }
  InputCloser in;
  int rc = avformat_open_input(&in.ctx, FfmpegFileUrl(path).c_str(), nullptr, nullptr);
  if (rc < 0) {
    error = "avformat_open_input: " + AvError(rc);
    return false;
  }
  rc = avformat_find_stream_info(in.ctx, nullptr);
  if (rc < 0) {
    error = "avformat_find_stream_info: " + AvError(rc);
    return false;
  }
  for (unsigned i = 0; i < in.ctx->nb_streams; ++i) {
    const AVStream* s = in.ctx->streams[i];
    if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || (s->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
    info.hasVideo = true;
    info.codec = avcodec_get_name(s->codecpar->codec_id);
    info.canMux = MuxHeaderTest(s->codecpar, s->time_base, s->avg_frame_rate);
    break;
  }
  if (in.ctx->duration > 0) info.duration = double(in.ctx->duration) / 1e6;
  return true;
}

bool LibStillPicture(const std::filesystem::path& path) {
  if (IsSpecialFile(path)) return false;
  InputCloser in;
  if (avformat_open_input(&in.ctx, FfmpegFileUrl(path).c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(in.ctx, nullptr) < 0)
    return false;
  const int stream = av_find_best_stream(in.ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream < 0) return false;
  const AVStream* s = in.ctx->streams[stream];
  if (s->disposition & AV_DISPOSITION_ATTACHED_PIC) return true;
  if (s->nb_frames > 0) return s->nb_frames == 1;
  // No frame count in the header (Matroska): a second picture packet among
  // the first few seconds of packets means a moving picture.
  constexpr int kPacketLimit = 2000;
  AVPacket* packet = av_packet_alloc();
  if (!packet) return false;
  int pictures = 0;
  for (int n = 0; n < kPacketLimit && pictures < 2 && av_read_frame(in.ctx, packet) >= 0; ++n) {
    if (packet->stream_index == stream) ++pictures;
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  return pictures == 1;
}

}  // namespace vesk
