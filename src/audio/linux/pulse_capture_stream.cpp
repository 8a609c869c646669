// Capture on PulseAudio: a record stream on the source, or on the monitor
// source of a sink for loopback. The main loop's thread is the capture
// thread. The stream may not move to another source: when its source goes
// away the server kills it, and that is the lost device.
#include <algorithm>
#include <chrono>
#include <thread>

#include "audio/arrival_clock.h"
#include "audio/capture_stream.h"
#include "audio/linux/pulse_connection.h"
#include "audio/startup_backlog.h"
#include "core/app_log.h"
#include "platform/clock.h"

namespace vesk {
namespace {

constexpr int kOpenWaitMs = 8000;

bool DeviceLayout(const pa_sample_spec& spec, pa_sample_format_t& request, DeviceSampleFormat& format) {
  switch (spec.format) {
    case PA_SAMPLE_S16LE:
      format.bits = 16, format.isFloat = false;
      break;
    case PA_SAMPLE_S24LE:
      format.bits = 24, format.isFloat = false;
      break;
    case PA_SAMPLE_S32LE:
      format.bits = 32, format.isFloat = false;
      break;
    default:
      // Anything else is taken as float; the server converts.
      format.bits = 32, format.isFloat = true;
      request = PA_SAMPLE_FLOAT32LE;
      return true;
  }
  request = spec.format;
  return true;
}

// When the server's last timing report places the capture of the oldest
// unread frame of a record stream (0 before the first report): the byte at
// the write index came `source_usec` after its capture, at the report's
// time, and the bytes around it at the stream's rate. A source that posts
// in blocks makes the figure up to a block late, so it only tells a stretch
// the device skipped (ArrivalClock). The library's own latency figure is not
// used: it runs the reports through a smoother that
// drifts by tens of milliseconds on a filter source (a remap of another
// source), and on a monitor it moves the time to when the sink will play the
// frame rather than when it was mixed, where the other platform's loopback
// and every other source stamp it.
int64_t CaptureTime(pa_stream* s, int64_t now, uint64_t bytesPerSecond) {
  const pa_timing_info* t = pa_stream_get_timing_info(s);
  if (t == nullptr || bytesPerSecond == 0 || t->write_index_corrupt || t->read_index_corrupt) return 0;
  if (t->timestamp.tv_sec == 0 && t->timestamp.tv_usec == 0) return 0;
  const int64_t reported = now - int64_t(pa_timeval_age(&t->timestamp)) * 10;
  const int64_t ahead = int64_t(t->write_index) - int64_t(t->read_index);
  const int64_t buffered = ahead >= 0 ? int64_t(uint64_t(ahead) * 10'000'000 / bytesPerSecond)
                                      : -int64_t(uint64_t(-ahead) * 10'000'000 / bytesPerSecond);
  return reported - int64_t(t->source_usec) * 10 - buffered;
}

class PulseCaptureStream final : public CaptureStream {
 public:
  ~PulseCaptureStream() override { Stop(); }

  bool Start(const std::string& endpointId, bool loopback, uint16_t channels, uint32_t rate,
             std::string& error) override {
    if (running_.load()) return false;
    ResetForStart(endpointId, loopback, channels, rate);
    error.clear();
    if (!Open(error)) {
      AppLog("[cap] 打开失败 id=%s loopback=%d：%s", endpointId.c_str(), loopback ? 1 : 0, error.c_str());
      Teardown();
      running_.store(false);
      if (error.empty()) error = "打开录音设备失败。";
      return false;
    }
    return true;
  }

  void Stop() override {
    running_.store(false);
    Teardown();
    ZeroMeters();
  }

 private:
  bool Open(std::string& error) {
    std::string serverText;
    if (!connection_.Connect("VeskRecorder capture", serverText)) {
      error = PulseStepError("初始化音频设备枚举器", serverText);
      return false;
    }
    connection_.Lock();
    std::string source;
    PulseEndpointInfo info;
    if (loopback_) {
      info = QuerySink(connection_, endpointId_);
      source = info.monitorSource;
    } else {
      info = QuerySource(connection_, endpointId_);
      source = info.name;
    }
    if (!info.found || source.empty()) {
      connection_.Unlock();
      error = PulseStepError("打开所选录音设备", endpointId_.empty() ? "没有默认设备" : "找不到 " + endpointId_);
      return false;
    }
    DeviceSampleFormat format;
    pa_sample_format_t request = PA_SAMPLE_FLOAT32LE;
    DeviceLayout(info.spec, request, format);
    pa_channel_map map = info.map;
    format.channels = info.spec.channels;
    if (format.channels > 8) {
      format.channels = 8;
      pa_channel_map_init_extend(&map, 8, PA_CHANNEL_MAP_DEFAULT);
    }
    const uint32_t deviceRate = info.spec.rate;
    const uint32_t streamRate = targetRate_ != 0 ? targetRate_ : deviceRate;
    const pa_sample_spec spec{request, streamRate, uint8_t(format.channels)};
    BeginCapture(streamRate, deviceRate, format);

    stream_ = pa_stream_new(connection_.Context(), loopback_ ? "VeskRecorder loopback" : "VeskRecorder capture",
                            &spec, &map);
    if (stream_ == nullptr) {
      error = PulseStepError(loopback_ ? "打开回环采集（设备可能被独占或已禁用）" : "初始化采集流",
                             connection_.LastError());
      connection_.Unlock();
      return false;
    }
    pa_stream_set_state_callback(stream_, &PulseCaptureStream::OnState, this);
    pa_stream_set_read_callback(stream_, &PulseCaptureStream::OnRead, this);
    pa_stream_set_overflow_callback(stream_, &PulseCaptureStream::OnOverflow, this);
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(pa_usec_to_bytes(10'000, &spec));
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_DONT_MOVE);
    connectTick_ = Now100ns();
    outputDelayCount_ = 0;
    outputDelayAsked_ = 0;
    arrivals_.Begin(streamRate);
    backlog_.Begin(connectTick_, streamRate, format.BytesPerFrame());
    bool ok = pa_stream_connect_record(stream_, source.c_str(), &attr, flags) >= 0;
    connection_.Unlock();
    // Wait for the server's answer without holding the loop.
    const pa_stream_state_t state = ok ? connection_.WaitStreamSettled(stream_, kOpenWaitMs) : PA_STREAM_CREATING;
    if (!ok || state != PA_STREAM_READY) {
      if (ok && state != PA_STREAM_READY && PA_STREAM_IS_GOOD(state)) {
        error = "打开录音设备失败。";
      } else {
        connection_.Lock();
        error = PulseStepError(loopback_ ? "打开回环采集（设备可能被独占或已禁用）" : "初始化采集流",
                               connection_.LastError());
        connection_.Unlock();
      }
      return false;
    }
    opened_.store(true, std::memory_order_release);
    AppLog("[cap] 打开%s成功 id=%s 引擎率=%u 目标率=%u 声道=%u(设备%u) srcBits=%u%s", loopback_ ? "回环采集" : "采集",
           endpointId_.c_str(), deviceRate, streamRate, unsigned(targetChannels_), unsigned(format.channels),
           unsigned(format.bits), streamRate != deviceRate ? " [重采样]" : "");
    return true;
  }

  void Teardown() {
    if (connection_.Loop() != nullptr && stream_ != nullptr) {
      connection_.Lock();
      pa_stream_set_state_callback(stream_, nullptr, nullptr);
      pa_stream_set_read_callback(stream_, nullptr, nullptr);
      pa_stream_set_overflow_callback(stream_, nullptr, nullptr);
      pa_stream_disconnect(stream_);
      pa_stream_unref(stream_);
      stream_ = nullptr;
      connection_.Unlock();
    }
    connection_.Close();
    opened_.store(false);
  }

  static void OnState(pa_stream* s, void* self) {
    auto* me = static_cast<PulseCaptureStream*>(self);
    const pa_stream_state_t state = pa_stream_get_state(s);
    // The server answers the connect once the stream is attached to its
    // source; what the source had buffered arrives after this.
    if (state == PA_STREAM_READY) me->backlog_.Attached(Now100ns());
    if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && me->opened_.load() && me->running_.load())
      me->MarkDeviceLost();
  }

  // The server's record buffer overflowed: it dropped audio of this stream.
  static void OnOverflow(pa_stream*, void* self) { static_cast<PulseCaptureStream*>(self)->NoteDiscontinuity(); }

  static void OnRead(pa_stream* s, size_t, void* self) {
    auto* me = static_cast<PulseCaptureStream*>(self);
    const size_t bpf = me->deviceFormat_.BytesPerFrame();
    const uint32_t rate = me->Rate();
    while (pa_stream_readable_size(s) > 0) {
      const void* data = nullptr;
      size_t bytes = 0;
      if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) break;
      const int64_t now = Now100ns();
      const size_t frames = bytes / bpf;
      // The server's figure, only to tell a stretch the device skipped.
      int64_t stamp = CaptureTime(s, now, uint64_t(rate) * bpf);
      if (now - me->outputDelayAsked_ >= kOutputDelayInterval) {
        me->outputDelayAsked_ = now;
        pa_operation* op = pa_context_get_source_output_info(pa_stream_get_context(s), pa_stream_get_index(s),
                                                             &PulseCaptureStream::OnOutputInfo, me);
        if (op != nullptr) pa_operation_unref(op);
      }
      if (rate > 0) {
        // A fragment cannot end after now; before the first timing update its
        // own length is the best estimate of its age.
        const int64_t latest = now - int64_t(frames) * 10'000'000 / int64_t(rate) - 1;
        if (stamp == 0 || stamp > latest) stamp = latest;
      }
      if (frames > 0 && me->running_.load(std::memory_order_acquire) && !me->deviceLost_.load())
        me->backlog_.Take(static_cast<const uint8_t*>(data), frames, stamp, now, me->keep_);
      pa_stream_drop(s);
    }
  }

  // The server may hold every frame of a record stream back by the same
  // amount before sending it (a filter source whose master can be rewound
  // keeps that much in the stream's delay buffer), which arrival times cannot
  // show. The stream's buffer figure has it, together with the frames that
  // merely wait to fill a fragment; the smallest of the last few readings is
  // the part that holds back every frame. Asked for now and then on the main
  // loop thread, which also reads it.
  static constexpr int64_t kOutputDelayInterval = 2'500'000;  // 250 ms
  static constexpr size_t kOutputDelayReadings = 8;
  static void OnOutputInfo(pa_context*, const pa_source_output_info* info, int eol, void* self) {
    if (eol != 0 || info == nullptr) return;
    auto* me = static_cast<PulseCaptureStream*>(self);
    me->outputDelays_[me->outputDelayCount_++ % kOutputDelayReadings] = int64_t(info->buffer_usec) * 10;
  }
  int64_t OutputDelay() const {
    const size_t n = std::min(outputDelayCount_, kOutputDelayReadings);
    return n == 0 ? 0 : *std::min_element(outputDelays_, outputDelays_ + n);
  }

  // Capture times of the kept packets (main loop thread).
  ArrivalClock arrivals_;
  int64_t outputDelays_[kOutputDelayReadings] = {};
  size_t outputDelayCount_ = 0;
  int64_t outputDelayAsked_ = 0;
  PulseConnection connection_;
  pa_stream* stream_ = nullptr;
  int64_t connectTick_ = 0;
  // What a source buffered before the stream was opened is dropped whole
  // (main loop thread).
  StartupBacklog backlog_;
  const StartupBacklog::Sink keep_ = [this](const uint8_t* data, size_t frames, int64_t stamp, int64_t arrival) {
    OnPacket(data, frames, data == nullptr, arrivals_.Stamp(frames, arrival, stamp) - OutputDelay(), arrival);
  };
};

}  // namespace

std::unique_ptr<CaptureStream> CreateCaptureStream() { return std::make_unique<PulseCaptureStream>(); }

}  // namespace vesk
