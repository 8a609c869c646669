#pragma once
// Plays interleaved floats (one buffer, or any SampleSource such as the edit
// document's pieces) on a render endpoint, from
// a start frame, optionally looping over a range, converting the buffer's
// rate to the device's by linear interpolation; a buffer of more than two
// channels on a narrower device plays as its stereo fold. The backend
// (PulsePlaybackStream, WasapiPlaybackStream) opens the device and asks
// Render for every block of device frames it can take.
//
// Threads: Start/Stop/SetLoop/Seek/Position on the user-interface thread;
// Render on the playback thread only. The buffer or source belongs to the
// caller and must stay unchanged while the stream runs.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/capture_stream.h"
#include "media/audio_format.h"
#include "media/fold_down.h"
#include "media/sample_source.h"

namespace vesk {

class PlaybackStream {
 public:
  // Callbacks with the buffer played out before the thread stops.
  static constexpr int kEndCallbacks = 12;

  virtual ~PlaybackStream() = default;

  bool Start(const SampleSource* source, const AudioFormat& format, uint64_t startFrame, const std::string& endpointId,
             std::string& error, uint64_t loopStart = 0, uint64_t loopEnd = 0);
  bool Start(const float* samples, uint64_t frames, const AudioFormat& format, uint64_t startFrame,
             const std::string& endpointId, std::string& error, uint64_t loopStart = 0, uint64_t loopEnd = 0);
  virtual void Stop() = 0;
  void SetLoop(uint64_t start, uint64_t end);
  void Seek(uint64_t frame);
  // Goes on at the same frame from another source of the same length and
  // format (a denoised copy or the original) without reopening the device,
  // so the switch is heard within one callback. The previous source is read
  // until BufferSwapped() says the playback thread has let go of it.
  void SwapBuffer(const SampleSource* source);
  bool BufferSwapped() const {
    return pendingSamples_.load(std::memory_order_acquire) == nullptr || !Running();
  }
  uint64_t Position() const { return position_.load(std::memory_order_acquire); }
  bool Running() const { return running_.load(std::memory_order_acquire); }
  uint64_t LoopStart() const { return loopStart_.load(std::memory_order_acquire); }
  uint64_t LoopEnd() const { return loopEnd_.load(std::memory_order_acquire); }

  // Fills `count` device frames (one callback) at `out` in the device format
  // and returns false once the buffer has played out for more than
  // kEndCallbacks callbacks: the backend then stops. Playback thread only.
  bool Render(void* out, size_t count);

  // Prepares Render for a device of this rate and layout (the backend calls
  // it once the device format is known; tests call it directly).
  void PrepareRender(uint32_t deviceRate, const DeviceSampleFormat& deviceFormat);
  // Sets up the buffer and position as Start does, without a device (tests).
  void SetBuffer(const SampleSource* source, const AudioFormat& format, uint64_t startFrame, uint64_t loopStart,
                 uint64_t loopEnd);
  void SetBuffer(const float* samples, uint64_t frames, const AudioFormat& format, uint64_t startFrame,
                 uint64_t loopStart, uint64_t loopEnd);

 protected:
  // Opens the device and starts the playback thread; false with the error.
  virtual bool StartDevice(std::string& error) = 0;
  void ForgetBuffer();

  const SampleSource* source_ = nullptr;
  uint64_t frames_ = 0;
  AudioFormat format_;
  std::string endpointId_;
  std::atomic<bool> running_{false};
  std::atomic<bool> opened_{false};

 private:
  std::atomic<uint64_t> loopStart_{0};
  std::atomic<uint64_t> loopEnd_{0};
  std::atomic<uint64_t> position_{0};
  std::atomic<bool> seekPending_{false};
  std::atomic<uint64_t> seekTarget_{0};
  std::atomic<const SampleSource*> pendingSamples_{nullptr};
  ContiguousSamples buffer_;  // what the buffer form of Start and SetBuffer play
  // Playback thread state.
  const float* Frame(uint64_t k);
  const float* span_ = nullptr;  // frames [spanStart_, spanEnd_) of source_ lie at span_
  uint64_t spanStart_ = 0;
  uint64_t spanEnd_ = 0;
  std::vector<float> window_;  // frames read from a source that holds them in a file
  std::vector<float> held_;    // the earlier frame of a pair, while the window moves on
  double pos_ = 0;
  double ratio_ = 1;
  int endCount_ = 0;
  uint32_t deviceRate_ = 0;
  DeviceSampleFormat deviceFormat_;
  StereoFold fold_;  // empty unless the buffer is folded for the device
};

std::unique_ptr<PlaybackStream> CreatePlaybackStream();

}  // namespace vesk
