#pragma once
#include <memory>
#include <string>
#include <vector>

#include "media/audio_sink.h"
#include "media/mp3_encoder.h"
#include "media/sample_source.h"
#include "platform/file.h"

namespace vesk {

// MP3 output through the system's encoder (see media/mp3_encoder.h). The file
// holds the raw MPEG frames as the encoder emits them, with no tags. Input is
// converted to 16-bit PCM and encoded in blocks of 1152 frames; Close pads the
// remainder with silence to three blocks so the encoder's delayed frames come
// out. A failed Open creates no file.
class Mp3Sink final : public AudioSink {
 public:
  Mp3Sink() = default;
  ~Mp3Sink() override = default;
  Mp3Sink(const Mp3Sink&) = delete;
  Mp3Sink& operator=(const Mp3Sink&) = delete;

  bool Open(const std::filesystem::path& path, const AudioFormat& format, uint32_t bitrateKbps,
            std::string& error) override;
  // Does nothing (true) without an encoder or after Close.
  bool Write(const float* samples, size_t sampleCount, std::string& error) override;
  // Always true.
  bool Close(std::string& error) override;
  uint64_t BytesWritten() const override { return bytesWritten_; }
  int32_t ActualBitrateKbps() const override { return actualBitrate_; }

  // Converted samples still waiting for a whole block.
  size_t PendingSamples() const { return pending_.size(); }

 private:
  bool EncodeBlock(const int16_t* block, std::string& error);

  std::unique_ptr<Mp3Encoder> encoder_;
  File file_;
  AudioFormat format_;
  std::vector<int16_t> pending_;
  std::vector<uint8_t> output_;  // reused encoder output
  uint64_t sampleTime_ = 0;
  uint64_t bytesWritten_ = 0;
  uint32_t outputBufferSize_ = 65536;
  int32_t actualBitrate_ = 0;
  bool finished_ = false;
};

// Encodes a whole buffer into an MP3 file (progress and cancel as
// WriteInChunks). The file is closed whatever happens; a failed or cancelled
// export leaves what was encoded so far.
bool WriteMp3File(const std::filesystem::path& path, const AudioFormat& format, const std::vector<float>& samples,
                  uint32_t bitrateKbps, std::string& error, const FramesProgress& progress = {});
bool WriteMp3File(const std::filesystem::path& path, const AudioFormat& format, const SampleSource& source,
                  uint32_t bitrateKbps, std::string& error, const FramesProgress& progress = {});

}  // namespace vesk
