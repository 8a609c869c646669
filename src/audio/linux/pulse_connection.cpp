#include "audio/linux/pulse_connection.h"

#include <chrono>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace vesk {
namespace {

template <typename Info>
void FillFrom(PulseEndpointInfo& out, const Info* i) {
  out.found = true;
  out.name = i->name != nullptr ? i->name : "";
  out.description = i->description != nullptr ? i->description : "";
  out.spec = i->sample_spec;
  out.map = i->channel_map;
  // A port that says it is not available means the jack is empty.
  out.unplugged = i->active_port != nullptr && i->active_port->available == PA_PORT_AVAILABLE_NO;
}

struct Query {
  PulseConnection* connection;
  PulseEndpointInfo info;
};

}  // namespace

PulseConnection::~PulseConnection() { Close(); }

void PulseConnection::OnContextState(pa_context*, void* self) {
  pa_threaded_mainloop_signal(static_cast<PulseConnection*>(self)->loop_, 0);
}

bool PulseConnection::Connect(const char* clientName, std::string& error) {
  Close();
  loop_ = pa_threaded_mainloop_new();
  if (loop_ == nullptr) {
    error = "PulseAudio 主循环建不起来";
    return false;
  }
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "VeskRecorder");
  context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), clientName, props);
  pa_proplist_free(props);
  if (context_ == nullptr) {
    error = "PulseAudio 上下文建不起来";
    Close();
    return false;
  }
  pa_context_set_state_callback(context_, &PulseConnection::OnContextState, this);
  if (pa_threaded_mainloop_start(loop_) < 0) {
    error = "PulseAudio 主循环启动失败";
    Close();
    return false;
  }
  started_ = true;
  Lock();
  bool ok = pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) >= 0;
  while (ok) {
    const pa_context_state_t s = pa_context_get_state(context_);
    if (s == PA_CONTEXT_READY) break;
    if (!PA_CONTEXT_IS_GOOD(s)) {
      ok = false;
      break;
    }
    pa_threaded_mainloop_wait(loop_);
  }
  if (!ok) error = LastError();
  Unlock();
  if (!ok) Close();
  return ok;
}

void PulseConnection::Close() {
  if (loop_ == nullptr) return;
  if (context_ != nullptr) {
    if (started_) Lock();
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    if (started_) Unlock();
  }
  if (started_) pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
  loop_ = nullptr;
  started_ = false;
}

std::string PulseConnection::LastError() const {
  if (context_ == nullptr) return "连不上 PulseAudio 服务";
  return pa_strerror(pa_context_errno(context_));
}

bool PulseConnection::Await(pa_operation* op) {
  if (op == nullptr) return false;
  while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
      pa_operation_cancel(op);
      break;
    }
    pa_threaded_mainloop_wait(loop_);
  }
  const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
  pa_operation_unref(op);
  return done;
}

PulseEndpointInfo QuerySink(PulseConnection& c, const std::string& name) {
  Query q{&c, {}};
  auto cb = [](pa_context*, const pa_sink_info* i, int eol, void* user) {
    auto* q = static_cast<Query*>(user);
    if (eol == 0 && i != nullptr && !q->info.found) {
      FillFrom(q->info, i);
      q->info.monitorSource = i->monitor_source_name != nullptr ? i->monitor_source_name : "";
    }
    if (eol != 0) q->connection->Signal();
  };
  c.Await(pa_context_get_sink_info_by_name(c.Context(), name.empty() ? "@DEFAULT_SINK@" : name.c_str(), cb, &q));
  return q.info;
}

PulseEndpointInfo QuerySource(PulseConnection& c, const std::string& name) {
  Query q{&c, {}};
  auto cb = [](pa_context*, const pa_source_info* i, int eol, void* user) {
    auto* q = static_cast<Query*>(user);
    if (eol == 0 && i != nullptr && !q->info.found) {
      FillFrom(q->info, i);
      q->info.isMonitor = i->monitor_of_sink != PA_INVALID_INDEX;
    }
    if (eol != 0) q->connection->Signal();
  };
  c.Await(
      pa_context_get_source_info_by_name(c.Context(), name.empty() ? "@DEFAULT_SOURCE@" : name.c_str(), cb, &q));
  return q.info;
}

void QueryDefaults(PulseConnection& c, std::string& defaultSink, std::string& defaultSource) {
  struct D {
    PulseConnection* c;
    std::string sink, source;
  } d{&c, {}, {}};
  auto cb = [](pa_context*, const pa_server_info* i, void* user) {
    auto* d = static_cast<D*>(user);
    if (i != nullptr) {
      d->sink = i->default_sink_name != nullptr ? i->default_sink_name : "";
      d->source = i->default_source_name != nullptr ? i->default_source_name : "";
    }
    d->c->Signal();
  };
  c.Await(pa_context_get_server_info(c.Context(), cb, &d));
  defaultSink = d.sink;
  defaultSource = d.source;
}

std::string PulseStepError(const char* step, const std::string& serverText) {
  return std::string(step) + " 失败（PulseAudio：" + serverText + "）。";
}

pa_stream_state_t PulseConnection::WaitStreamSettled(pa_stream* stream, int timeoutMs) {
  const uint64_t until = TickMs() + uint64_t(timeoutMs);
  for (;;) {
    Lock();
    const pa_stream_state_t state = pa_stream_get_state(stream);
    Unlock();
    if (state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state) || TickMs() >= until) return state;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace vesk
