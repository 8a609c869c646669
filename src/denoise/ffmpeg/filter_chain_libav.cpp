// The built-in noise reduction's filter chains on FFmpeg's filter library.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "denoise/builtin_denoise.h"
#include "platform/text.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
}

namespace vesk {

namespace {

constexpr int kBlockFrames = 4096;

// Messages of the filters run on this thread go here while a chain collects
// them (afftdn reports its sampled noise profile only in its log).
thread_local std::string* tlsLog = nullptr;

void LogCallback(void* avcl, int level, const char* fmt, va_list args) {
  if (tlsLog != nullptr && level <= AV_LOG_INFO) {
    char line[2048];
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(line, sizeof line, fmt, copy);
    va_end(copy);
    *tlsLog += line;
    return;
  }
  av_log_default_callback(avcl, level, fmt, args);
}

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0) return Format("错误码 %d", code);
  return text;
}

struct GraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

class Chain {
 public:
  bool Build(const std::vector<FilterStep>& steps, uint32_t rate, uint32_t channels, std::string& error) {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(LogCallback); });
    rate_ = rate;
    channels_ = channels;
    graph_.reset(avfilter_graph_alloc());
    if (!graph_) return Fail("内存不足。", error);
    graph_->nb_threads = 1;  // the same result on every machine
    av_channel_layout_default(&layout_, int(channels));
    char layoutName[128] = {};
    av_channel_layout_describe(&layout_, layoutName, sizeof layoutName);
    const std::string args = Format("time_base=1/%u:sample_rate=%u:sample_fmt=flt:channel_layout=%s", rate, rate,
                                    QuoteFilterValue(layoutName).c_str());
    if (!Create("abuffer", "in", args, &source_, error)) return false;
    AVFilterContext* last = source_;
    for (size_t i = 0; i < steps.size(); ++i) {
      AVFilterContext* ctx = nullptr;
      if (!Create(steps[i].name, "f" + std::to_string(i), steps[i].options, &ctx, error)) return false;
      if (!Link(last, ctx, error)) return false;
      last = ctx;
    }
    AVFilterContext* format = nullptr;
    if (!Create("aformat", "out_format", Format("sample_fmts=flt:sample_rates=%u", rate), &format, error) ||
        !Link(last, format, error) || !Create("abuffersink", "out", "", &sink_, error) || !Link(format, sink_, error))
      return false;
    const int rc = avfilter_graph_config(graph_.get(), nullptr);
    if (rc < 0) return Fail("内置降噪：滤镜链配置失败（" + AvError(rc) + "）", error);
    return true;
  }

  // Pushes `frames` frames (nullptr = end of input) and hands every frame
  // that comes out to `take`.
  template <class Take>
  bool Push(const float* data, uint64_t frames, Take&& take, std::string& error) {
    int rc = 0;
    if (data == nullptr) {
      rc = av_buffersrc_add_frame_flags(source_, nullptr, 0);
    } else {
      FramePtr frame(av_frame_alloc());
      if (!frame) return Fail("内存不足。", error);
      frame->nb_samples = int(frames);
      frame->format = AV_SAMPLE_FMT_FLT;
      frame->sample_rate = int(rate_);
      av_channel_layout_copy(&frame->ch_layout, &layout_);
      frame->pts = int64_t(pts_);
      pts_ += frames;
      if ((rc = av_frame_get_buffer(frame.get(), 0)) < 0) return Fail("内存不足。", error);
      std::memcpy(frame->data[0], data, size_t(frames) * channels_ * sizeof(float));
      rc = av_buffersrc_add_frame_flags(source_, frame.get(), 0);
    }
    if (rc < 0) return Fail("内置降噪：送入滤镜失败（" + AvError(rc) + "）", error);
    FramePtr out(av_frame_alloc());
    if (!out) return Fail("内存不足。", error);
    for (;;) {
      rc = av_buffersink_get_frame(sink_, out.get());
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return Fail("内置降噪：滤镜出错（" + AvError(rc) + "）", error);
      const bool kept = take(reinterpret_cast<const float*>(out->data[0]), uint64_t(out->nb_samples));
      av_frame_unref(out.get());
      if (!kept) return Fail("内置降噪：滤镜给出的样本比送进去的多", error);
    }
  }

  ~Chain() { av_channel_layout_uninit(&layout_); }

 private:
  static bool Fail(const std::string& text, std::string& error) {
    error = text;
    return false;
  }
  bool Create(const std::string& name, const std::string& label, const std::string& args, AVFilterContext** ctx,
              std::string& error) {
    const AVFilter* filter = avfilter_get_by_name(name.c_str());
    if (filter == nullptr) return Fail("内置降噪：FFmpeg 滤镜库里没有 " + name + " 滤镜", error);
    const int rc = avfilter_graph_create_filter(ctx, filter, label.c_str(), args.empty() ? nullptr : args.c_str(),
                                                nullptr, graph_.get());
    if (rc < 0) return Fail("内置降噪：滤镜 " + name + " 设置失败（" + AvError(rc) + "）", error);
    return true;
  }
  bool Link(AVFilterContext* a, AVFilterContext* b, std::string& error) {
    const int rc = avfilter_link(a, 0, b, 0);
    if (rc < 0) return Fail("内置降噪：滤镜连接失败（" + AvError(rc) + "）", error);
    return true;
  }

  GraphPtr graph_;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  AVChannelLayout layout_{};
  uint32_t rate_ = 0;
  uint32_t channels_ = 1;
  uint64_t pts_ = 0;
};

// Restores the thread's log target when a run ends.
struct LogScope {
  explicit LogScope(std::string* log) : saved(tlsLog) { tlsLog = log; }
  ~LogScope() { tlsLog = saved; }
  std::string* saved;
};

}  // namespace

bool BuiltinDenoiseSupported() { return true; }

bool RunFilterChain(const std::vector<FilterStep>& steps, const float* in, uint64_t frames, uint32_t rate,
                    uint32_t channels, std::vector<float>& out, std::string* log, std::string& error) {
  LogScope scope(log);
  Chain chain;
  if (!chain.Build(steps, rate, channels, error)) return false;
  auto take = [&](const float* data, uint64_t n) {
    out.insert(out.end(), data, data + n * channels);
    return true;
  };
  for (uint64_t f = 0; f < frames; f += kBlockFrames)
    if (!chain.Push(in + f * channels, std::min<uint64_t>(kBlockFrames, frames - f), take, error)) return false;
  return chain.Push(nullptr, 0, take, error);
}

bool RunFilterChainInPlace(const std::vector<FilterStep>& steps, std::vector<float>& samples, uint32_t rate,
                           uint32_t channels, uint64_t skip, std::string& error) {
  LogScope scope(nullptr);
  Chain chain;
  if (!chain.Build(steps, rate, channels, error)) return false;
  const uint64_t frames = samples.size() / channels;
  const uint64_t delay = skip;
  uint64_t read = 0, written = 0;
  // The chain is causal: what comes out trails what went in by its delay,
  // so it can be written back behind the read position.
  auto take = [&](const float* data, uint64_t n) {
    const uint64_t dropped = std::min(skip, n);
    skip -= dropped;
    data += dropped * channels;
    n = std::min(n - dropped, frames - written);
    if (written + n > read) return false;
    std::copy(data, data + n * channels, samples.begin() + std::ptrdiff_t(written * channels));
    written += n;
    return true;
  };
  for (; read < frames;) {
    const uint64_t n = std::min<uint64_t>(kBlockFrames, frames - read);
    // Copy the block first: its frames may be overwritten while it is taken.
    const std::vector<float> block(samples.begin() + std::ptrdiff_t(read * channels),
                                   samples.begin() + std::ptrdiff_t((read + n) * channels));
    read += n;
    if (!chain.Push(block.data(), n, take, error)) return false;
  }
  // Silence pushes the delayed tail out; the end of input flushes the rest.
  const std::vector<float> silence(size_t(kBlockFrames) * channels, 0.0f);
  for (uint64_t pushed = 0; written < frames && pushed < delay + 2 * uint64_t(rate) + kBlockFrames;
       pushed += kBlockFrames)
    if (!chain.Push(silence.data(), kBlockFrames, take, error)) return false;
  if (written < frames && !chain.Push(nullptr, 0, take, error)) return false;
  if (written != frames) {
    error = "内置降噪：输出长度不符";
    return false;
  }
  return true;
}

}  // namespace vesk
