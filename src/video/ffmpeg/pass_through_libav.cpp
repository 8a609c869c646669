// Pass-through export with the FFmpeg libraries: H.264 packets copied
// unchanged into MP4, audio encoded and fitted to totalFrames.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/app_log.h"
#include "media/ffmpeg_url.h"
#include "platform/file.h"
#include "platform/text.h"
#include "video/ffmpeg/audio_encoder.h"
#include "video/pass_through_libav.h"

namespace vesk {

namespace {

std::string WithCode(const char* text, int rc) {
  char detail[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(rc, detail, sizeof detail);
  return Format("%s（错误码 %d：%s）", text, rc, detail);
}

struct Contexts {
  AVFormatContext* in = nullptr;
  AVFormatContext* out = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  ~Contexts() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    if (in) avformat_close_input(&in);
    if (out) {
      if (out->pb) avio_closep(&out->pb);
      avformat_free_context(out);
    }
  }
};

// Converts frames [first, first + n) of the real audio into the encoder's
// sample layout; frames past the end of the audio are zeros.
void FillFrame(AVFrame* frame, const AudioEncoder& enc, const std::vector<float>& samples, int64_t first, int n) {
  const int64_t realFrames = int64_t(samples.size() / enc.channels);
  for (int i = 0; i < n; ++i) {
    const int64_t f = first + i;
    for (int c = 0; c < enc.channels; ++c) {
      const float v = f < realFrames ? std::clamp(samples[size_t(f) * enc.channels + c], -1.0f, 1.0f) : 0.0f;
      switch (enc.sampleFormat) {
        case AV_SAMPLE_FMT_FLTP: reinterpret_cast<float*>(frame->extended_data[c])[i] = v; break;
        case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(frame->data[0])[i * enc.channels + c] = v; break;
        case AV_SAMPLE_FMT_S16:
          reinterpret_cast<int16_t*>(frame->data[0])[i * enc.channels + c] = int16_t(std::lround(v * 32767.0));
          break;
        case AV_SAMPLE_FMT_S16P:
          reinterpret_cast<int16_t*>(frame->extended_data[c])[i] = int16_t(std::lround(v * 32767.0));
          break;
        default:  // S32 carrying 24 significant bits (FLAC 24-bit)
          reinterpret_cast<int32_t*>(frame->data[0])[i * enc.channels + c] =
              int32_t(uint32_t(std::lround(v * 8388607.0)) << 8);
          break;
      }
    }
  }
}

// Writes every packet the encoder has ready; false on a write failure.
int DrainEncoder(AudioEncoder& enc, Contexts& cx, AVStream* stream) {
  for (;;) {
    int rc = avcodec_receive_packet(enc.context, cx.packet);
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 0;
    if (rc < 0) {
      AppLog("[e] FAIL at drain hr=0x%08X", unsigned(rc));
      return rc;
    }
    const int size = cx.packet->size;
    av_packet_rescale_ts(cx.packet, enc.context->time_base, stream->time_base);
    cx.packet->stream_index = stream->index;
    rc = av_interleaved_write_frame(cx.out, cx.packet);
    AppLog("[w] out len=%d write hr=0x%08X", size, unsigned(rc));
    if (rc < 0) {
      AppLog("[e] FAIL at write hr=0x%08X", unsigned(rc));
      return rc;
    }
  }
}

}  // namespace

bool CreateAudioEncoder(uint32_t codec, uint32_t rate, uint16_t channels, uint32_t bitrateKbps, bool globalHeader,
                        AudioEncoder& enc, std::string& error) {
  const bool flac = codec == 1;
  const AVCodec* c = avcodec_find_encoder(flac ? AV_CODEC_ID_FLAC : AV_CODEC_ID_AAC);
  if (!c) {
    error = flac ? "系统没有 FLAC 编码器（需要 Windows 10 及以上）。" : "系统没有可用的 AAC 编码器。";
    return false;
  }
  bool rateOffered = !c->supported_samplerates;
  for (const int* r = c->supported_samplerates; r && *r; ++r) rateOffered |= uint32_t(*r) == rate;
  if (!rateOffered || channels == 0 || channels > 8 || (flac && rate > 655350)) {
    error = Format("编码器不支持 %u Hz / %d 声道 这个组合（换 48000 Hz 试）。", rate, int(channels));
    return false;
  }
  enc.context = avcodec_alloc_context3(c);
  if (!enc.context) {
    error = "激活音频编码器失败";
    return false;
  }
  AVCodecContext* ctx = enc.context;
  ctx->sample_rate = int(rate);
  av_channel_layout_default(&ctx->ch_layout, channels);
  ctx->time_base = AVRational{1, int(rate)};
  AVSampleFormat wanted = flac ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_FLTP;
  bool offered = !c->sample_fmts;
  for (const AVSampleFormat* f = c->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) offered |= *f == wanted;
  if (!offered) wanted = c->sample_fmts[0];
  ctx->sample_fmt = wanted;
  if (flac) {
    ctx->bits_per_raw_sample = 24;
  } else {
    ctx->bit_rate = int64_t(bitrateKbps) * 1000;
  }
  if (globalHeader) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int rc = avcodec_open2(ctx, c, nullptr);
  if (rc < 0) {
    error = WithCode("设置音频编码输出格式被拒绝", rc);
    return false;
  }
  enc.codec = flac ? 1 : 0;
  enc.rate = rate;
  enc.channels = channels;
  enc.sampleFormat = ctx->sample_fmt;
  enc.chunkFrames = ctx->frame_size > 0 ? ctx->frame_size : 1024;
  const int bits = av_get_bytes_per_sample(enc.sampleFormat) * 8;
  AppLog("[enc] codec=%s rate=%u ch=%u inBits=%u inAlign=%u chunk=%u", flac ? "FLAC" : "AAC", rate, unsigned(channels),
         unsigned(flac ? 24 : bits), unsigned(bits / 8 * channels), unsigned(enc.chunkFrames));
  return true;
}

bool PassThroughWriteLibav(const std::filesystem::path& source, const std::vector<float>& samples, uint32_t rate,
                           uint16_t channels, int64_t totalFrames, const VideoEditedExportOptions& options,
                           const std::filesystem::path& output, std::string& error) {
  error.clear();
  Contexts cx;
  if (!cx.packet || !cx.frame) {
    error = "内存不足。";
    return false;
  }
  if (IsSpecialFile(source)) {
    error = kSpecialFileText;
    return false;
  }
  if (avformat_open_input(&cx.in, FfmpegFileUrl(source).c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(cx.in, nullptr) < 0) {
    error = "打不开源视频（可能被别的程序占用）。";
    return false;
  }
  int videoIndex = -1;
  for (unsigned i = 0; i < cx.in->nb_streams && videoIndex < 0; ++i) {
    const AVStream* s = cx.in->streams[i];
    if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
      videoIndex = int(i);
  }
  if (videoIndex < 0) {
    error = "读不出画面参数。";
    return false;
  }
  AVStream* inVideo = cx.in->streams[videoIndex];

  if (avformat_alloc_output_context2(&cx.out, nullptr, "mp4", FfmpegFileUrl(output).c_str()) < 0 || !cx.out) {
    error = "创建输出文件失败（目标位置不可写，或被别的程序占用）。";
    return false;
  }
  // A failed export leaves no half-written video behind (the Windows sink
  // writer path does the same).
  struct RemoveUnlessDone {
    const std::filesystem::path& path;
    bool done = false;
    ~RemoveUnlessDone() {
      std::error_code ec;
      if (!done) std::filesystem::remove(path, ec);
    }
  } partial{output};
  // FLAC in MP4 is still marked experimental by older libraries.
  cx.out->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
  AVStream* outVideo = avformat_new_stream(cx.out, nullptr);
  int rc = outVideo ? avcodec_parameters_copy(outVideo->codecpar, inVideo->codecpar) : AVERROR(ENOMEM);
  if (rc < 0) {
    error = WithCode("画面直通不被支持（MP4 封装拒绝了这个编码）", rc);
    return false;
  }
  outVideo->codecpar->codec_tag = 0;
  outVideo->time_base = inVideo->time_base;

  AudioEncoder enc;
  if (!CreateAudioEncoder(options.codec == 1 ? 1 : 0, rate, channels, options.aacBitrate / 1000, true, enc, error))
    return false;
  AVStream* outAudio = avformat_new_stream(cx.out, nullptr);
  rc = outAudio ? avcodec_parameters_from_context(outAudio->codecpar, enc.context) : AVERROR(ENOMEM);
  AppLog("[e1] audio AddStream(encoded) hr=0x%08X outRate=%u", unsigned(rc), rate);
  if (rc < 0) {
    error = WithCode("编码后的音轨不被 MP4 封装接受", rc);
    return false;
  }
  outAudio->time_base = AVRational{1, int(rate)};
  AppLog("[e2] audio SetInputMediaType(encoded) hr=0x%08X", 0u);

  if (avio_open(&cx.out->pb, FfmpegFileUrl(output).c_str(), AVIO_FLAG_WRITE) < 0) {
    error = "创建输出文件失败（目标位置不可写，或被别的程序占用）。";
    return false;
  }
  rc = avformat_write_header(cx.out, nullptr);
  if (rc < 0) {
    error = rc == AVERROR_INVALIDDATA || rc == AVERROR(EINVAL)
                ? WithCode("画面直通不被支持（MP4 封装拒绝了这个编码）", rc)
                : std::string("输出文件初始化失败。");
    return false;
  }

  int64_t fed = 0;
  // Audio is fed up to a little past each picture packet so the file stays
  // interleaved without holding either stream in memory.
  auto feedUntil = [&](int64_t limit) -> int {
    while (fed < std::min(limit, totalFrames)) {
      const int n = int(std::min<int64_t>(totalFrames - fed, enc.chunkFrames));
      av_frame_unref(cx.frame);
      cx.frame->nb_samples = n;
      cx.frame->format = enc.sampleFormat;
      cx.frame->sample_rate = int(rate);
      av_channel_layout_copy(&cx.frame->ch_layout, &enc.context->ch_layout);
      int r = av_frame_get_buffer(cx.frame, 0);
      if (r < 0) return r;
      FillFrame(cx.frame, enc, samples, fed, n);
      cx.frame->pts = fed;
      r = avcodec_send_frame(enc.context, cx.frame);
      if (r < 0) {
        AppLog("[e] FAIL at processInput/refeed hr=0x%08X", unsigned(r));
        return r;
      }
      r = DrainEncoder(enc, cx, outAudio);
      if (r < 0) return r;
      fed += n;
    }
    return 0;
  };

  unsigned wrote = 0;
  for (;;) {
    rc = av_read_frame(cx.in, cx.packet);
    if (rc == AVERROR_EOF) break;
    if (rc < 0) {
      error = WithCode("读取源视频画面失败", rc);
      return false;
    }
    if (cx.packet->stream_index != videoIndex) {
      av_packet_unref(cx.packet);
      continue;
    }
    const int64_t at = cx.packet->dts != AV_NOPTS_VALUE ? cx.packet->dts : cx.packet->pts;
    const int64_t audioLimit =
        at == AV_NOPTS_VALUE ? 0 : av_rescale_q(at, inVideo->time_base, AVRational{1, int(rate)}) + rate;
    av_packet_rescale_ts(cx.packet, inVideo->time_base, outVideo->time_base);
    cx.packet->stream_index = outVideo->index;
    cx.packet->pos = -1;
    rc = av_interleaved_write_frame(cx.out, cx.packet);
    if (rc < 0) {
      error = WithCode("读取源视频画面失败", rc);
      return false;
    }
    if (++wrote % 500 == 0) AppLog("[e] video wrote=%u", wrote);
    if ((rc = feedUntil(audioLimit)) < 0) {
      error = WithCode("编码音轨失败", rc);
      return false;
    }
  }
  AppLog("[e3] video drained, total=%u", wrote);
  if ((rc = feedUntil(totalFrames)) < 0) {
    error = WithCode("编码音轨失败", rc);
    return false;
  }
  rc = avcodec_send_frame(enc.context, nullptr);
  if (rc < 0 || (rc = DrainEncoder(enc, cx, outAudio)) < 0) {
    error = WithCode("编码音轨失败", rc);
    return false;
  }
  const int64_t real = int64_t(samples.size() / channels);
  AppLog("[e4] audio fed=%lld frames (real %lld + pad %lld), feedRate=%u", (long long)fed,
         (long long)std::min(real, fed), (long long)std::max<int64_t>(fed - real, 0), rate);
  rc = av_write_trailer(cx.out);
  AppLog("[e5] Finalize hr=0x%08X", unsigned(rc));
  if (rc < 0) {
    error = WithCode("收尾写出失败（文件可能不完整）", rc);
    return false;
  }
  partial.done = true;
  return true;
}

}  // namespace vesk
