#pragma once
// A private connection to the PulseAudio server: a threaded main loop and a
// context that has reached the ready state. Every stream and the device
// catalogue use their own connection, so none of them depends on another's
// thread. Callbacks run on the main loop's thread.
#include <pulse/pulseaudio.h>

#include <cstdint>
#include <functional>
#include <string>

namespace vesk {

class PulseConnection {
 public:
  PulseConnection() = default;
  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  // Starts the loop and connects; false with the server's error text.
  bool Connect(const char* clientName, std::string& error);
  // Stops the loop and frees everything (not from the loop's own thread).
  void Close();

  pa_threaded_mainloop* Loop() const { return loop_; }
  pa_context* Context() const { return context_; }
  std::string LastError() const;
  void Lock() { pa_threaded_mainloop_lock(loop_); }
  void Unlock() { pa_threaded_mainloop_unlock(loop_); }
  // With the lock held: waits until `op` is done (its callback must call
  // Signal) and releases it. False when the context failed meanwhile.
  bool Await(pa_operation* op);
  void Signal() { pa_threaded_mainloop_signal(loop_, 0); }
  // Without the lock held: polls `stream` until it is ready, has failed or
  // `timeoutMs` passed, and returns the state it was last seen in.
  pa_stream_state_t WaitStreamSettled(pa_stream* stream, int timeoutMs);

 private:
  static void OnContextState(pa_context* c, void* self);

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  bool started_ = false;
};

// The details of one sink or source the streams and the catalogue need.
struct PulseEndpointInfo {
  bool found = false;
  std::string name;
  std::string description;
  std::string monitorSource;  // sinks: the source that records what they play
  pa_sample_spec spec{};
  pa_channel_map map{};
  bool unplugged = false;
  bool isMonitor = false;
};

// With the lock held. An empty name asks for the server's default.
PulseEndpointInfo QuerySink(PulseConnection& c, const std::string& name);
PulseEndpointInfo QuerySource(PulseConnection& c, const std::string& name);
void QueryDefaults(PulseConnection& c, std::string& defaultSink, std::string& defaultSource);

// "%s 失败（PulseAudio：%s）。" for the step and the server's text.
std::string PulseStepError(const char* step, const std::string& serverText);

}  // namespace vesk
