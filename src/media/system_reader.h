#pragma once
// The operating system's media source reader as one stage of the decode
// cascade (Windows: Media Foundation; Linux has none and FFmpeg decodes).
// The backend only moves bytes; configuring, converting and the messages are
// portable (DecodeWithSourceReader and the audition).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/audio_format.h"
#include "media/audio_tracks.h"

namespace vesk {

class SampleSpill;

// One open reader with exactly one audio stream selected. Codes are the
// system's result codes (HRESULT), used in the messages.
class SystemAudioReader {
 public:
  virtual ~SystemAudioReader() = default;

  // Native rate and channel count of the selected stream.
  virtual bool NativeFormat(uint32_t& rate, uint32_t& channels) = 0;
  // Asks for interleaved 32-bit float (asFloat) or 16-bit PCM output with the
  // given rate and channel count.
  virtual bool SetOutput(bool asFloat, uint32_t rate, uint32_t channels, uint32_t& code) = 0;
  // Reads the next sample and hands its contiguous bytes to `consume`. Sets
  // endOfStream at the end; a sample that announces a changed media type is
  // not handed over. False (with `code`) when the read failed.
  virtual bool ReadSample(const std::function<void(const uint8_t*, size_t)>& consume, bool& endOfStream,
                          uint32_t& code) = 0;
  // Presentation duration in seconds, 0 when unknown (used to reserve memory).
  virtual double DurationSeconds() = 0;
};

// Opens a reader on `path` with only `streamIndex` selected (kFirstAudioStream
// selects the first audio stream). Null when there is no system reader or it
// cannot open the file; its message is never shown to the user.
std::unique_ptr<SystemAudioReader> OpenSystemAudioReader(const std::filesystem::path& path, int32_t streamIndex);

enum class SystemListing { Unavailable, Failed, Listed };
// Lists the audio streams through the system reader. Unavailable: no reader
// could be created (the caller asks FFmpeg); Failed: the reader exists but its
// stream list cannot be read.
SystemListing ListAudioTracksWithSystemReader(const std::filesystem::path& path, std::vector<AudioTrack>& tracks);

// Configures float (or 16-bit PCM) output at the native rate and channel count
// and reports the format the samples will have (at most two channels).
struct SystemReaderOutput {
  AudioFormat format;
  unsigned sourceChannels = 0;
  bool isFloat = true;
};
bool ConfigureSystemReader(SystemAudioReader& reader, SystemReaderOutput& output, std::string& error);

// Decodes the selected stream to its end. Keeps at most two channels. With a
// `spill`, what passes its limit goes to its file (see DecodeWithFfmpeg).
bool DecodeWithSourceReader(SystemAudioReader& reader, AudioFormat& format, std::vector<float>& samples,
                            std::string& error, SampleSpill* spill = nullptr);

}  // namespace vesk
