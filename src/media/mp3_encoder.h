#pragma once
// The MP3 encoder backend behind Mp3Sink: the system's Media Foundation
// encoder transform on Windows, LAME on Linux. The sink guarantees: the
// output type is chosen from OutputTypes() before SetOutputType, SetInputType
// follows SetOutputType, and every EncodeBlock gets exactly one block of
// kMp3BlockFrames frames of interleaved 16-bit PCM at the chosen rate and
// channel count. Messages are the user-facing Chinese texts.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vesk {

constexpr uint32_t kMp3BlockFrames = 1152;  // one MPEG-1 Layer III frame

struct Mp3OutputType {
  uint32_t sampleRate = 0;
  uint16_t channels = 0;
  uint32_t averageBytesPerSecond = 0;
};

class Mp3Encoder {
 public:
  virtual ~Mp3Encoder() = default;
  // The offered output types in the encoder's own order.
  virtual std::vector<Mp3OutputType> OutputTypes() = 0;
  virtual bool SetOutputType(size_t index, std::string& error) = 0;
  virtual bool SetInputType(std::string& error) = 0;
  // Bytes per output buffer the encoder asks for; 0 when it does not say.
  virtual uint32_t OutputBufferSize() = 0;
  // Encodes one block stamped with `sampleTime` and `duration` (100-ns units)
  // and appends every MPEG byte that became ready to `out`.
  virtual bool EncodeBlock(const int16_t* pcm, uint64_t sampleTime, uint64_t duration, std::vector<uint8_t>& out,
                           std::string& error) = 0;
  // Called once after the padding blocks of Close: appends bytes the encoder
  // still holds back (LAME keeps the last frames for its bit reservoir; the
  // Media Foundation encoder has already given everything out).
  virtual void Finish(std::vector<uint8_t>& out) { (void)out; }
};

// Finds and activates the system's MP3 encoder. No encoder: false with the
// "系统没有可用的 MP3 编码器。…" message; a failed activation: false with its message.
bool CreateMp3Encoder(std::unique_ptr<Mp3Encoder>& encoder, std::string& error);

// Whether an encoder exists at all (nothing is kept activated).
bool Mp3EncoderAvailable();

}  // namespace vesk
