#include "media/ffmpeg_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>
#include <optional>

#include "media/audition.h"
#include "media/ffmpeg/ffmpeg_input.h"
#include "media/sample_convert.h"
#include "media/sample_spill.h"
#include "platform/memory.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace vesk {

using ffmpeg::ErrorText;

namespace {

// The ordinal-th audio stream of an open input, or -1.
int FindAudioStream(AVFormatContext* input, int32_t ordinal) {
  if (ordinal < 0) return -1;
  int32_t seen = 0;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    if (input->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    if (seen++ == ordinal) return int(i);
  }
  return -1;
}

// One audio stream of a file, decoded frame by frame into interleaved floats
// with every channel kept. Used by the whole-file decode and the audition;
// the audition reports decoding errors with its own wording.
class StreamDecoder {
 public:
  explicit StreamDecoder(bool audition) : audition_(audition) {}
  ~StreamDecoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    swr_free(&converter_);
    avcodec_free_context(&codec_);
  }
  StreamDecoder(const StreamDecoder&) = delete;
  StreamDecoder& operator=(const StreamDecoder&) = delete;

  bool Open(const std::filesystem::path& path, int32_t ordinal, std::string& error) {
    if (!ffmpeg::OpenInput(path, input_, error)) return false;
    stream_ = FindAudioStream(input_.get(), ordinal);
    if (stream_ < 0) {
      error = audition_ ? "这个文件里没有这条音轨。" : "这个文件里没有声音。";
      return false;
    }
    AVStream* st = input_->streams[stream_];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    const std::string codecName = avcodec_get_name(st->codecpar->codec_id);
    if (!decoder) {
      error = "自带解码器里没有 " + codecName + " 的解码器。";
      return false;
    }
    codec_ = avcodec_alloc_context3(decoder);
    if (!codec_) {
      error = "解码器初始化失败（内存不足）。";
      return false;
    }
    int rc = avcodec_parameters_to_context(codec_, st->codecpar);
    if (rc < 0) {
      error = "这个文件的音频参数读不出来（" + ErrorText(rc) + "）。";
      return false;
    }
    rc = avcodec_open2(codec_, decoder, nullptr);
    if (rc < 0) {
      error = "这个文件（" + codecName + "）解码器起不来：" + ErrorText(rc) + "。";
      return false;
    }
    if (codec_->ch_layout.nb_channels < 1 || codec_->sample_rate <= 0) {
      error = "这个文件的音频参数不正常（声道或采样率为 0）。";
      return false;
    }
    rate_ = uint32_t(codec_->sample_rate);
    channels_ = unsigned(codec_->ch_layout.nb_channels);
    if (!BuildConverter(codec_->ch_layout, codec_->sample_fmt, codec_->sample_rate, error)) return false;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!packet_ || !frame_) {
      error = "内存不足。";
      return false;
    }
    // The stream's own length, exact where the container counts it (an MP3
    // frame-count header, FLAC stream info, MP4 sample tables) rather than
    // FFmpeg guessing it from the bit rate; the container's length (which
    // may be a video's) is only an estimate.
    if (st->duration > 0 && st->time_base.num > 0 && st->time_base.den > 0 &&
        input_->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
      statedFrames_ = uint64_t(av_rescale_q(st->duration, st->time_base, AVRational{1, codec_->sample_rate}));
      // MP4 packets of a fixed size: priming samples may lie outside the
      // stated length.
      if (st->nb_frames > 0 && codec_->frame_size > 0)
        statedFrames_ = std::max(statedFrames_, uint64_t(st->nb_frames) * uint64_t(codec_->frame_size));
    }
    if (input_->duration > 0)
      duration_ = double(input_->duration) / AV_TIME_BASE;
    else if (st->duration > 0 && st->time_base.num > 0)
      duration_ = double(st->duration) * av_q2d(st->time_base);
    return true;
  }

  uint32_t Rate() const { return rate_; }
  unsigned Channels() const { return channels_; }
  double DurationSeconds() const { return duration_; }
  // Frames the container counts, 0 when it only estimates.
  uint64_t StatedFrames() const { return statedFrames_; }

  // Decodes to the end, appending every converted frame to `out`; after each
  // frame `afterFrame` (when given) may return false to stop early.
  bool Run(std::vector<float>& out, const std::function<bool()>& afterFrame, std::string& error) {
    bool stop = false;
    while (av_read_frame(input_.get(), packet_) >= 0) {
      if (packet_->stream_index != stream_) {
        av_packet_unref(packet_);
        continue;
      }
      int rc = avcodec_send_packet(codec_, packet_);
      if (rc == AVERROR(EAGAIN)) {
        // Not an error: the decoder wants its frames taken first.
        if (!ReceiveAll(out, afterFrame, stop, error)) return Unref(false);
        if (stop) return Unref(true);
        avcodec_send_packet(codec_, packet_);
      }
      // Any other refusal skips this packet (a damaged frame in the middle).
      av_packet_unref(packet_);
      if (!ReceiveAll(out, afterFrame, stop, error)) return false;
      if (stop) return true;
    }
    av_packet_unref(packet_);
    avcodec_send_packet(codec_, nullptr);
    return ReceiveAll(out, afterFrame, stop, error);
  }

 private:
  bool Unref(bool result) {
    av_packet_unref(packet_);
    return result;
  }

  std::string DecodeError(const char* what, int rc) const {
    return std::string(audition_ ? "试听解码失败" : what) + "（" + ErrorText(rc) + "）。";
  }

  bool BuildConverter(const AVChannelLayout& layout, int sampleFormat, int rate, std::string& error) {
    swr_free(&converter_);
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, int(channels_));
    // A layout without channel meanings (raw WAV, some containers) is read as
    // the default one of its size, so nothing gets re-mixed.
    AVChannelLayout unspecified{};
    const AVChannelLayout* inLayout = &layout;
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      av_channel_layout_default(&unspecified, layout.nb_channels);
      inLayout = &unspecified;
    }
    // Older library versions take the input layout without const.
    int rc = swr_alloc_set_opts2(&converter_, &outLayout, AV_SAMPLE_FMT_FLT, int(rate_), const_cast<AVChannelLayout*>(inLayout),
                                 AVSampleFormat(sampleFormat), rate, 0, nullptr);
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&unspecified);
    if (rc < 0 || !converter_) {
      error = "音频转换器起不来（" + ErrorText(rc < 0 ? rc : AVERROR(ENOMEM)) + "）。";
      return false;
    }
    rc = swr_init(converter_);
    if (rc < 0) {
      error = "音频转换器初始化失败（" + ErrorText(rc) + "）。";
      return false;
    }
    inFormat_ = sampleFormat;
    inRate_ = rate;
    inChannels_ = layout.nb_channels;
    return true;
  }

  bool ReceiveAll(std::vector<float>& out, const std::function<bool()>& afterFrame, bool& stop, std::string& error) {
    for (;;) {
      const int rc = avcodec_receive_frame(codec_, frame_);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) {
        error = DecodeError("解码失败", rc);
        return false;
      }
      const bool converted = Convert(out, error);
      av_frame_unref(frame_);
      if (!converted) return false;
      if (afterFrame && !afterFrame()) {
        stop = true;
        return true;
      }
    }
  }

  bool Convert(std::vector<float>& out, std::string& error) {
    if (frame_->nb_samples <= 0) return true;
    // A stream may change its layout, format or rate part-way (joined
    // broadcasts, damaged files); feeding such a frame to a converter set up
    // for the old shape would read past its planes.
    if (frame_->format != inFormat_ || frame_->sample_rate != inRate_ ||
        frame_->ch_layout.nb_channels != inChannels_) {
      if (frame_->ch_layout.nb_channels < 1 || frame_->sample_rate <= 0) return true;
      if (!BuildConverter(frame_->ch_layout, frame_->format, frame_->sample_rate, error)) return false;
    }
    const int room = swr_get_out_samples(converter_, frame_->nb_samples);
    if (room < 0) {
      error = DecodeError("音频转换失败", room);
      return false;
    }
    const size_t start = out.size();
    MakeRoom(out, size_t(room) * channels_);
    out.resize(start + size_t(room) * channels_);
    uint8_t* target = reinterpret_cast<uint8_t*>(out.data() + start);
    const int produced = swr_convert(converter_, &target, room, const_cast<const uint8_t**>(frame_->extended_data),
                                     frame_->nb_samples);
    if (produced < 0) {
      out.resize(start);
      error = DecodeError("音频转换失败", produced);
      return false;
    }
    out.resize(start + size_t(produced) * channels_);
    // A damaged float stream can decode to NaN or infinity, which would
    // poison peaks, envelopes and the mix; they become silence, as in the
    // WAV reader.
    ZeroNonFinite(out.data() + start, out.size() - start);
    return true;
  }

  bool audition_;
  ffmpeg::InputPtr input_;
  int stream_ = -1;
  AVCodecContext* codec_ = nullptr;
  SwrContext* converter_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  uint32_t rate_ = 0;
  unsigned channels_ = 0;
  double duration_ = 0;
  uint64_t statedFrames_ = 0;
  int inFormat_ = -1;
  int inRate_ = 0;
  int inChannels_ = 0;
};

}  // namespace

bool DecodeWithFfmpeg(const std::filesystem::path& path, int32_t ordinal, AudioFormat& format,
                      std::vector<float>& samples, std::string& error, int* sourceBits, SampleSpill* spill) {
  samples.clear();
  error.clear();
  if (sourceBits) *sourceBits = 0;
  try {
    StreamDecoder decoder(false);
    if (!decoder.Open(path, ordinal, error)) return false;
    const double seconds = decoder.DurationSeconds() > 0 ? std::min(decoder.DurationSeconds(), 1e7) : 0;
    const uint64_t stated = std::min<uint64_t>(decoder.StatedFrames(), uint64_t(1e7 * decoder.Rate()));
    const uint64_t expected = decoder.Channels() * (stated > 0 ? stated : uint64_t(seconds * decoder.Rate()));
    if (spill) spill->Expect(expected);
    if (spill && expected > spill->ReserveValues())
      samples.reserve(spill->ReserveValues());  // the rest goes to the spill file
    else if (decoder.StatedFrames() > 0)
      ReserveForFrames(samples, decoder.StatedFrames(), decoder.Channels());
    else
      ReserveForDuration(samples, decoder.DurationSeconds(), decoder.Rate(), decoder.Channels());
    std::optional<PrefaultAhead> prefault(std::in_place, samples.data(), samples.capacity() * sizeof(float));
    const float* reserved = samples.data();
    bool spillFailed = false;
    const auto afterFrame = [&] {
      // Grown past the reservation: the helper has nothing left to do.
      if (prefault && samples.data() != reserved) prefault.reset();
      if (spill && !spill->Offer(samples, decoder.Channels(), error)) spillFailed = true;
      return !spillFailed;
    };
    if (!decoder.Run(samples, afterFrame, error) || spillFailed) {
      samples.clear();
      return false;
    }
    prefault.reset();
    if (samples.empty() && !(spill && spill->Spilled())) {
      error = "这个文件里没解出声音。";
      return false;
    }
    if (!spill || !spill->Spilled()) TrimSlack(samples);
    format = AudioFormat{decoder.Rate(), uint16_t(decoder.Channels()), 16};
    return true;
  } catch (const std::bad_alloc&) {
    samples.clear();
    samples.shrink_to_fit();
    error = "内存不足。";
    return false;
  }
}

bool DecodeAuditionWithFfmpeg(const std::filesystem::path& path, int32_t ordinal, double clipSeconds,
                              double scanSeconds, AudioFormat& format, std::vector<float>& samples,
                              bool& allSilent, std::string& error) {
  samples.clear();
  allSilent = false;
  error.clear();
  try {
    StreamDecoder decoder(true);
    if (!decoder.Open(path, ordinal, error)) return false;
    // The excerpt is played by the track dialog: wider tracks are folded
    // into stereo.
    const unsigned outChannels = decoder.Channels() < 2 ? 1 : 2;
    AuditionCollector collector(decoder.Rate(), outChannels, clipSeconds, scanSeconds);
    std::vector<float> block;
    const auto feed = [&] {
      collector.Add(block.data(), block.size() / decoder.Channels(), decoder.Channels());
      block.clear();
      return collector.WantsMore();
    };
    if (collector.WantsMore() && !decoder.Run(block, feed, error)) return false;
    samples = collector.Finish(allSilent);
    format = AudioFormat{decoder.Rate(), uint16_t(outChannels), 16};
    return true;
  } catch (const std::bad_alloc&) {
    samples.clear();
    error = "内存不足。";
    return false;
  }
}

bool ListAudioTracksWithFfmpeg(const std::filesystem::path& path, std::vector<AudioTrack>& tracks,
                               std::string& error) {
  tracks.clear();
  error.clear();
  ffmpeg::InputPtr input;
  if (!ffmpeg::OpenInput(path, input, error)) return false;
  int32_t ordinal = 0;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    const AVStream* st = input->streams[i];
    if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    AudioTrack track;
    track.streamIndex = int32_t(i);
    track.ordinal = ordinal++;
    track.sampleRate = st->codecpar->sample_rate > 0 ? uint32_t(st->codecpar->sample_rate) : 0;
    track.channels = st->codecpar->ch_layout.nb_channels > 0 ? uint32_t(st->codecpar->ch_layout.nb_channels) : 0;
    if (const AVDictionaryEntry* e = av_dict_get(st->metadata, "title", nullptr, 0)) track.name = e->value;
    // MP4 and MOV keep a track's name as its handler name; the muxers' own
    // placeholder is no name.
    const AVDictionaryEntry* handler = av_dict_get(st->metadata, "handler_name", nullptr, 0);
    if (track.name.empty() && handler && std::strcmp(handler->value, "SoundHandler") != 0 &&
        std::strcmp(handler->value, "Core Media Audio") != 0)
      track.name = handler->value;
    if (const AVDictionaryEntry* e = av_dict_get(st->metadata, "language", nullptr, 0)) track.language = e->value;
    tracks.push_back(std::move(track));
  }
  return true;
}

}  // namespace vesk
