#pragma once
// The output of recordings and exports. One thread uses a sink at a time:
// construct -> Open -> any number of Write -> Close -> destroy. Write after a
// failed Open or after Close does nothing and returns true, so a caller must
// stop at the first false.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "media/audio_format.h"

namespace vesk {

// Progress of a whole-buffer write: (frames done, total frames); returning
// false cancels.
using FramesProgress = std::function<bool(uint64_t framesDone, uint64_t totalFrames)>;

class AudioSink {
 public:
  virtual ~AudioSink() = default;
  // bitrateKbps is for compressed sinks; the WAV sink ignores it.
  virtual bool Open(const std::filesystem::path& path, const AudioFormat& format, uint32_t bitrateKbps,
                    std::string& error) = 0;
  // `count` interleaved float samples, all channels counted.
  virtual bool Write(const float* samples, size_t count, std::string& error) = 0;
  virtual bool Close(std::string& error) = 0;
  // Payload bytes written so far; safe to read from any thread.
  virtual uint64_t BytesWritten() const = 0;
  virtual int32_t ActualBitrateKbps() const = 0;
};

}  // namespace vesk
