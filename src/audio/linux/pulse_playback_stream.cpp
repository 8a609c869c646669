// Playback on PulseAudio: a float stream at the sink's own rate and channel
// count (so the interpolation of PlaybackStream does the rate conversion),
// filled from the main loop's thread whenever the server asks for data.
#include <chrono>
#include <thread>

#include "audio/linux/pulse_connection.h"
#include "audio/playback_stream.h"
#include "platform/clock.h"

namespace vesk {
namespace {

constexpr int kOpenWaitMs = 6000;

class PulsePlaybackStream final : public PlaybackStream {
 public:
  ~PulsePlaybackStream() override { Stop(); }

  void Stop() override {
    running_.store(false);
    if (connection_.Loop() != nullptr && stream_ != nullptr) {
      connection_.Lock();
      pa_stream_set_write_callback(stream_, nullptr, nullptr);
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
      stream_ = nullptr;
      connection_.Unlock();
    }
    connection_.Close();
    opened_.store(false);
    ForgetBuffer();
  }

 protected:
  bool StartDevice(std::string& error) override {
    if (!Open(error)) {
      running_.store(false);
      Stop();
      return false;
    }
    return true;
  }

 private:
  bool Open(std::string& error) {
    std::string serverText;
    if (!connection_.Connect("VeskRecorder playback", serverText)) {
      error = PulseStepError("初始化播放设备枚举器", serverText);
      return false;
    }
    connection_.Lock();
    PulseEndpointInfo sink = QuerySink(connection_, endpointId_);
    if (!sink.found && !endpointId_.empty()) sink = QuerySink(connection_, std::string());
    if (!sink.found) {
      connection_.Unlock();
      error = PulseStepError("取播放设备", "没有可用的播放设备");
      return false;
    }
    DeviceSampleFormat format;
    format.channels = sink.spec.channels;
    format.bits = 32;
    format.isFloat = true;
    pa_channel_map map = sink.map;
    if (format.channels > 8) {
      format.channels = 8;
      pa_channel_map_init_extend(&map, 8, PA_CHANNEL_MAP_DEFAULT);
    }
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, sink.spec.rate, uint8_t(format.channels)};
    PrepareRender(spec.rate, format);
    bytesPerFrame_ = format.BytesPerFrame();
    stream_ = pa_stream_new(connection_.Context(), "VeskRecorder playback", &spec, &map);
    if (stream_ == nullptr) {
      error = PulseStepError("初始化播放流", connection_.LastError());
      connection_.Unlock();
      return false;
    }
    pa_stream_set_write_callback(stream_, &PulsePlaybackStream::OnWrite, this);
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(pa_usec_to_bytes(100'000, &spec));
    attr.minreq = uint32_t(pa_usec_to_bytes(10'000, &spec));
    attr.prebuf = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    const bool ok = pa_stream_connect_playback(stream_, sink.name.c_str(), &attr, flags, nullptr, nullptr) >= 0;
    connection_.Unlock();
    const pa_stream_state_t state = ok ? connection_.WaitStreamSettled(stream_, kOpenWaitMs) : PA_STREAM_CREATING;
    if (!ok || state != PA_STREAM_READY) {
      connection_.Lock();
      error = PulseStepError("初始化播放流", connection_.LastError());
      connection_.Unlock();
      return false;
    }
    opened_.store(true);
    return true;
  }

  static void OnWrite(pa_stream* s, size_t bytes, void* self) {
    auto* me = static_cast<PulsePlaybackStream*>(self);
    if (!me->running_.load(std::memory_order_acquire) || me->bytesPerFrame_ == 0) return;
    void* data = nullptr;
    size_t size = bytes;
    if (pa_stream_begin_write(s, &data, &size) < 0 || data == nullptr) return;
    const size_t frames = size / me->bytesPerFrame_;
    const bool more = me->Render(data, frames);
    pa_stream_write(s, data, frames * me->bytesPerFrame_, nullptr, 0, PA_SEEK_RELATIVE);
    if (!more) {
      // Played out: the server stops asking once the stream is corked; the
      // connection is released by Stop or the next Start.
      me->running_.store(false, std::memory_order_release);
      me->opened_.store(false, std::memory_order_release);
      pa_operation* op = pa_stream_cork(s, 1, nullptr, nullptr);
      if (op != nullptr) pa_operation_unref(op);
    }
  }

  PulseConnection connection_;
  pa_stream* stream_ = nullptr;
  size_t bytesPerFrame_ = 0;
};

}  // namespace

std::unique_ptr<PlaybackStream> CreatePlaybackStream() { return std::make_unique<PulsePlaybackStream>(); }

}  // namespace vesk
