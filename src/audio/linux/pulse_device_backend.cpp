// The device catalogue on PulseAudio: capture endpoints are the sources that
// are not monitors, render endpoints the sinks; ids are the server's names.
#include <mutex>

#include "audio/audio_backend.h"
#include "audio/linux/pulse_connection.h"
#include "core/app_log.h"

namespace vesk {
namespace {

class PulseDeviceBackend final : public AudioDeviceBackend {
 public:
  ~PulseDeviceBackend() override { StopNotifications(); }

  std::vector<DeviceEntry> Enumerate() override {
    PulseConnection c;
    std::string error;
    std::vector<DeviceEntry> out;
    if (!c.Connect("VeskRecorder devices", error)) {
      AppLog("[dev] 枚举失败：%s", error.c_str());
      return out;
    }
    c.Lock();
    std::string defaultSink, defaultSource;
    QueryDefaults(c, defaultSink, defaultSource);
    struct L {
      PulseConnection* c;
      std::vector<DeviceEntry>* out;
      const std::string* def;
    };
    L sources{&c, &out, &defaultSource};
    auto sourceCb = [](pa_context*, const pa_source_info* i, int eol, void* user) {
      auto* l = static_cast<L*>(user);
      if (eol != 0) {
        l->c->Signal();
        return;
      }
      if (i == nullptr || i->monitor_of_sink != PA_INVALID_INDEX) return;
      l->out->push_back(MakeEntry(i, false, *l->def));
    };
    c.Await(pa_context_get_source_info_list(c.Context(), sourceCb, &sources));
    L sinks{&c, &out, &defaultSink};
    auto sinkCb = [](pa_context*, const pa_sink_info* i, int eol, void* user) {
      auto* l = static_cast<L*>(user);
      if (eol != 0) {
        l->c->Signal();
        return;
      }
      if (i != nullptr) l->out->push_back(MakeEntry(i, true, *l->def));
    };
    c.Await(pa_context_get_sink_info_list(c.Context(), sinkCb, &sinks));
    c.Unlock();
    return out;
  }

  uint32_t GetMixRate(const std::string& id, bool loopback) override {
    PulseConnection c;
    std::string error;
    if (!c.Connect("VeskRecorder devices", error)) return 0;
    c.Lock();
    const PulseEndpointInfo info = loopback ? QuerySink(c, id) : QuerySource(c, id);
    c.Unlock();
    return info.found ? info.spec.rate : 0;
  }

  bool StartNotifications(std::function<void()> changed) override {
    StopNotifications();
    changed_ = std::move(changed);
    std::string error;
    if (!notify_.Connect("VeskRecorder notifications", error)) {
      AppLog("[dev] 设备变化通知注册失败：%s", error.c_str());
      return false;
    }
    notify_.Lock();
    pa_context_set_subscribe_callback(notify_.Context(), &PulseDeviceBackend::OnEvent, this);
    const auto mask = pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE |
                                             PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_CARD);
    auto done = [](pa_context*, int, void* user) { static_cast<PulseConnection*>(user)->Signal(); };
    const bool ok = notify_.Await(pa_context_subscribe(notify_.Context(), mask, done, &notify_));
    notify_.Unlock();
    return ok;
  }

  void StopNotifications() override { notify_.Close(); }

 private:
  template <typename Info>
  static DeviceEntry MakeEntry(const Info* i, bool loopback, const std::string& defaultName) {
    DeviceEntry e;
    e.id = i->name != nullptr ? i->name : "";
    e.name = i->description != nullptr ? i->description : "";
    if (e.name.empty()) e.name = loopback ? "(未知输出设备)" : "(未知输入设备)";
    e.loopback = loopback;
    e.isDefault = !defaultName.empty() && e.id == defaultName;
    e.state = (i->active_port != nullptr && i->active_port->available == PA_PORT_AVAILABLE_NO) ? kDeviceUnplugged
                                                                                              : kDeviceActive;
    return e;
  }

  static void OnEvent(pa_context*, pa_subscription_event_type_t, uint32_t, void* self) {
    // Server thread: only the flag the window's timer reads.
    auto* me = static_cast<PulseDeviceBackend*>(self);
    if (me->changed_) me->changed_();
  }

  PulseConnection notify_;
  std::function<void()> changed_;
};

}  // namespace

std::unique_ptr<AudioDeviceBackend> CreateAudioDeviceBackend() { return std::make_unique<PulseDeviceBackend>(); }

}  // namespace vesk
