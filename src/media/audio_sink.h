#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "media/audio_format.h"

namespace vesk {

// Output of recordings and exports. Calling order: construct, Open, any
// number of Write, Close, destroy; one thread at a time.
class AudioSink {  // slots in order: destructor, Open, Write, Close, BytesWritten, ActualBitrateKbps
 public:
  virtual ~AudioSink() = default;
  virtual bool Open(const std::filesystem::path& path, const AudioFormat& format, uint32_t bitrateKbps,
                    std::string& error) = 0;
  virtual bool Write(const float* samples, size_t sampleCount, std::string& error) = 0;  // all channels counted
  virtual bool Close(std::string& error) = 0;
  virtual uint64_t BytesWritten() const = 0;
  virtual int32_t ActualBitrateKbps() const = 0;
};

// (frames done, total frames) → true to continue.
using FramesProgress = std::function<bool(uint64_t framesDone, uint64_t totalFrames)>;

}  // namespace vesk
