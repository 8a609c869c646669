// The preview decoder on libavformat, libavcodec and libswscale.
//
// State between calls: the demuxer and decoder stay where the last picture
// left them, with the frame shown ("held") and the first frame after it
// ("ahead") kept decoded. A request that falls between the two needs no
// decoding at all; one a little further on decodes forward from there; only
// a jump back, or past the next key frame, seeks.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <mutex>
#include <system_error>
#include <thread>

#include "media/ffmpeg/ffmpeg_input.h"
#include "media/ffmpeg_url.h"
#include "platform/text.h"
#include "video/preview_decoder.h"

namespace vesk {

namespace {

struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameCloser {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketCloser {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleCloser {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameCloser>;

constexpr int kMaxSide = 8192;
// Without a seek index, decoding on is preferred to seeking for jumps of up
// to this much (a typical key-frame interval).
constexpr double kForwardWithoutIndexSeconds = 1.0;
// Frames this long before the target are decoded in full; earlier ones that
// no other frame refers to are skipped on the way (a jump to the end of a
// group of pictures then decodes about half as many frames).
constexpr double kFullDecodeSeconds = 0.2;

int DecoderThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return int(std::clamp(n, 1u, 4u));
}

}  // namespace

struct PreviewDecoder::Impl {
  ffmpeg::InputPtr input;
  CodecPtr codec;
  std::unique_ptr<AVPacket, PacketCloser> packet;
  std::unique_ptr<SwsContext, ScaleCloser> scaler;
  FramePtr held;   // the frame shown for the last request
  FramePtr ahead;  // the first frame after `held`, when already decoded
  int stream = -1;
  AVRational timeBase{1, 1};
  int64_t startPts = 0;
  int width = 0, height = 0;
  double duration = 0;
  double frameRate = 0;
  bool endOfStream = false;  // the decoder was drained; a seek must come first
  int64_t skipBefore = INT64_MIN;  // packets before this pts may skip unreferenced frames
  bool positioned = false;   // demuxer and decoder continue from `held`

  PreviewPicture cache;
  int64_t cachePts = AV_NOPTS_VALUE;
  Counters counters;

  int64_t FramePts(const AVFrame* f) const {
    const int64_t pts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    return pts == AV_NOPTS_VALUE ? startPts : pts;
  }
  double Seconds(int64_t pts) const { return double(pts - startPts) * av_q2d(timeBase); }
  int64_t PtsOf(double seconds) const { return startPts + int64_t(std::floor(seconds / av_q2d(timeBase) + 1e-6)); }

  void ResetPosition() {
    held.reset();
    ahead.reset();
    positioned = false;
    endOfStream = false;
  }

  bool Seek(int64_t target, std::string& error) {
    ++counters.seeks;
    ResetPosition();
    int rc = av_seek_frame(input.get(), stream, target, AVSEEK_FLAG_BACKWARD);
    // Some files cannot seek by time in their picture stream; the start
    // always works and decoding forward from there is merely slower.
    if (rc < 0) rc = avformat_seek_file(input.get(), -1, INT64_MIN, 0, 0, 0);
    if (rc < 0) rc = av_seek_frame(input.get(), stream, startPts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    avcodec_flush_buffers(codec.get());
    if (rc < 0) {
      error = "视频定位失败（" + ffmpeg::ErrorText(rc) + "）。";
      return false;
    }
    positioned = true;
    return true;
  }

  // The next decoded frame into `out`; false at the end of the stream (and
  // on a read or decode error, which ends the stream for preview purposes).
  bool NextFrame(FramePtr& out) {
    if (!out) out.reset(av_frame_alloc());
    if (!out) return false;
    for (;;) {
      int rc = avcodec_receive_frame(codec.get(), out.get());
      if (rc == 0) {
        ++counters.framesDecoded;
        return true;
      }
      if (rc == AVERROR_EOF || endOfStream) {
        endOfStream = true;
        return false;
      }
      if (rc != AVERROR(EAGAIN)) {
        endOfStream = true;
        return false;
      }
      rc = av_read_frame(input.get(), packet.get());
      if (rc < 0) {
        // End of file: the drain packet makes receive_frame hand out the
        // frames the decoder still holds, then AVERROR_EOF.
        avcodec_send_packet(codec.get(), nullptr);
        continue;
      }
      if (packet->stream_index == stream) {
        const bool early = packet->pts != AV_NOPTS_VALUE && packet->pts < skipBefore;
        codec->skip_frame = early ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        // A damaged packet is skipped; the decoder carries on with the next.
        avcodec_send_packet(codec.get(), packet.get());
      }
      av_packet_unref(packet.get());
    }
  }

  // Moves held/ahead on until `held` is the frame shown at `target`.
  bool DecodeTo(int64_t target) {
    skipBefore = target - int64_t(kFullDecodeSeconds / av_q2d(timeBase));
    const bool found = DecodeOn(target);
    skipBefore = INT64_MIN;
    return found;
  }

  bool DecodeOn(int64_t target) {
    for (;;) {
      if (!ahead) {
        FramePtr next;
        if (!NextFrame(next)) return held != nullptr;  // the last frame stays on screen
        ahead = std::move(next);
      }
      if (held && FramePts(ahead.get()) > target) return true;
      // The first frame after a seek stands even when it starts after the
      // target (a request before the first frame shows the first frame).
      held = std::move(ahead);
      if (FramePts(held.get()) > target) return true;
    }
  }

  // Whether the key frame a seek would land on lies at or before the frame
  // already held, so that decoding on from here is the shorter way.
  bool ForwardIsCheaper(int64_t target) {
    if (!positioned || !held || endOfStream) return false;
    const int64_t heldPts = FramePts(held.get());
    if (target < heldPts) return false;
    AVStream* st = input->streams[stream];
    if (avformat_index_get_entries_count(st) > 0) {
      const AVIndexEntry* key = avformat_index_get_entry_from_timestamp(st, target, AVSEEK_FLAG_BACKWARD);
      if (key != nullptr) return key->timestamp <= heldPts;
    }
    return Seconds(target) - Seconds(heldPts) <= kForwardWithoutIndexSeconds;
  }

  bool Scale(const AVFrame* f, int w, int h, PreviewPixels pixels, PreviewPicture& out, std::string& error) {
    const AVPixelFormat dst = pixels == PreviewPixels::Bgrx32 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_RGB24;
    scaler.reset(sws_getCachedContext(scaler.release(), f->width, f->height, AVPixelFormat(f->format), w, h, dst,
                                      SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scaler) {
      error = "画面缩放器建不起来。";
      return false;
    }
    // Honour the matrix and range the stream declares (HD video is usually
    // BT.709); swscale assumes BT.601 limited range otherwise.
    const int matrix = f->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709
                       : f->colorspace == AVCOL_SPC_BT2020_NCL || f->colorspace == AVCOL_SPC_BT2020_CL
                           ? SWS_CS_BT2020
                           : SWS_CS_DEFAULT;
    const int fullRange = f->color_range == AVCOL_RANGE_JPEG || f->format == AV_PIX_FMT_YUVJ420P ||
                          f->format == AV_PIX_FMT_YUVJ422P || f->format == AV_PIX_FMT_YUVJ444P;
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(matrix), fullRange, sws_getCoefficients(SWS_CS_DEFAULT),
                             1, 0, 1 << 16, 1 << 16);
    const int bytesPerPixel = pixels == PreviewPixels::Bgrx32 ? 4 : 3;
    out.width = w;
    out.height = h;
    out.pixels = pixels;
    out.stride = size_t(w) * size_t(bytesPerPixel);
    out.data.resize(out.stride * size_t(h));
    uint8_t* planes[4] = {out.data.data(), nullptr, nullptr, nullptr};
    int strides[4] = {int(out.stride), 0, 0, 0};
    if (sws_scale(scaler.get(), f->data, f->linesize, 0, f->height, planes, strides) != h) {
      error = "画面缩放失败。";
      return false;
    }
    return true;
  }
};

PreviewDecoder::PreviewDecoder() = default;
PreviewDecoder::~PreviewDecoder() = default;

bool PreviewDecoder::Open(const std::filesystem::path& path, std::string& error) {
  Close();
  if (!CheckPreviewFile(path, error)) return false;
  static std::once_flag logLevelOnce;
  std::call_once(logLevelOnce, [] { av_log_set_level(AV_LOG_ERROR); });
  auto impl = std::make_unique<Impl>();
  const std::string url = FfmpegFileUrl(path);
  AVFormatContext* opened = nullptr;
  int rc = avformat_open_input(&opened, url.c_str(), nullptr, nullptr);
  if (rc < 0) {
    error = rc == AVERROR_INVALIDDATA ? std::string("不是能识别的视频文件。")
                                      : "打不开这个视频文件（" + ffmpeg::ErrorText(rc) + "）。";
    return false;
  }
  impl->input.reset(opened);
  rc = avformat_find_stream_info(opened, nullptr);
  if (rc < 0) {
    error = "读不出这个视频的信息（" + ffmpeg::ErrorText(rc) + "）。";
    return false;
  }
  AVFormatContext* in = impl->input.get();
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    const AVStream* st = in->streams[i];
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
        st->codecpar->width > 0 && st->codecpar->height > 0) {
      impl->stream = int(i);
      break;
    }
  }
  if (impl->stream < 0) {
    error = "这个文件里没有画面，没有可预览的内容。";
    return false;
  }
  AVStream* st = in->streams[impl->stream];
  const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
  if (decoder == nullptr) {
    error = Format("这个版本解不了这种画面编码（%s）。", avcodec_get_name(st->codecpar->codec_id));
    return false;
  }
  impl->codec.reset(avcodec_alloc_context3(decoder));
  impl->packet.reset(av_packet_alloc());
  if (!impl->codec || !impl->packet) {
    error = "内存不足，画面解码器建不起来。";
    return false;
  }
  rc = avcodec_parameters_to_context(impl->codec.get(), st->codecpar);
  if (rc >= 0) {
    impl->codec->thread_count = DecoderThreads();
    impl->codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    impl->codec->pkt_timebase = st->time_base;
    rc = avcodec_open2(impl->codec.get(), decoder, nullptr);
  }
  if (rc < 0) {
    error = "画面解码器打不开（" + ffmpeg::ErrorText(rc) + "）。";
    return false;
  }
  // Everything but the picture stream is skipped by the demuxer.
  for (unsigned i = 0; i < in->nb_streams; ++i)
    if (int(i) != impl->stream) in->streams[i]->discard = AVDISCARD_ALL;

  impl->timeBase = st->time_base.num > 0 && st->time_base.den > 0 ? st->time_base : AVRational{1, 90000};
  impl->startPts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
  const AVRational sar = av_guess_sample_aspect_ratio(in, st, nullptr);
  impl->height = st->codecpar->height;
  impl->width = st->codecpar->width;
  if (sar.num > 0 && sar.den > 0 && sar.num != sar.den)
    impl->width = int(std::clamp<int64_t>(av_rescale(impl->width, sar.num, sar.den), 1, kMaxSide));
  if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
    impl->duration = double(st->duration) * av_q2d(impl->timeBase);
  else if (in->duration != AV_NOPTS_VALUE && in->duration > 0)
    impl->duration = double(in->duration) / AV_TIME_BASE;
  const AVRational rate = av_guess_frame_rate(in, st, nullptr);
  impl->frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
  // The demuxer stands at the start after opening.
  impl->positioned = true;
  impl_ = std::move(impl);
  return true;
}

void PreviewDecoder::Close() { impl_.reset(); }
bool PreviewDecoder::IsOpen() const { return impl_ != nullptr; }
int PreviewDecoder::Width() const { return impl_ ? impl_->width : 0; }
int PreviewDecoder::Height() const { return impl_ ? impl_->height : 0; }
double PreviewDecoder::DurationSeconds() const { return impl_ ? impl_->duration : 0; }
double PreviewDecoder::FrameRate() const { return impl_ ? impl_->frameRate : 0; }
PreviewDecoder::Counters PreviewDecoder::Statistics() const { return impl_ ? impl_->counters : Counters{}; }

bool PreviewDecoder::PictureAt(double seconds, int width, int height, PreviewPixels pixels, PreviewPicture& out,
                               std::string& error) {
  if (!impl_) {
    error = "没有打开视频。";
    return false;
  }
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    error = "预览画面的尺寸不合理。";
    return false;
  }
  Impl& d = *impl_;
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  const int64_t target = d.PtsOf(seconds);

  const bool heldStands = d.held && d.FramePts(d.held.get()) <= target &&
                          (d.ahead ? d.FramePts(d.ahead.get()) > target : d.endOfStream);
  if (!heldStands) {
    if (!d.ForwardIsCheaper(target) && !d.Seek(target, error)) return false;
    if (!d.DecodeTo(target)) {
      // A seek can land past every decodable frame; the start always has one.
      if (!d.Seek(d.startPts, error)) return false;
      if (!d.DecodeTo(target)) {
        d.ResetPosition();
        error = "这个视频解不出画面。";
        return false;
      }
    }
  }
  const AVFrame* f = d.held.get();
  const int64_t pts = d.FramePts(f);
  if (d.cachePts == pts && d.cache.width == width && d.cache.height == height && d.cache.pixels == pixels) {
    ++d.counters.cacheHits;
  } else {
    d.cachePts = AV_NOPTS_VALUE;
    if (!d.Scale(f, width, height, pixels, d.cache, error)) return false;
    d.cache.frameTime = d.Seconds(pts);
    d.cachePts = pts;
  }
  out = d.cache;
  out.requested = seconds;
  return true;
}

}  // namespace vesk
