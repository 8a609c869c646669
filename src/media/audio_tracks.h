#pragma once
// The audio tracks of a (possibly multi-track) file: listing, labels, mixing
// all tracks into one clip, and the short audition excerpt of one track.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_format.h"
#include "media/sample_spill.h"

namespace vesk {

// Stream index of a WAV file's only track: the system reader's code for "the
// first audio stream".
inline constexpr int32_t kFirstAudioStream = -3;

struct AudioTrack {
  int32_t streamIndex = kFirstAudioStream;  // index in the container
  int32_t ordinal = 0;                      // 0 for the first audio stream, 1 for the second, ...
  uint32_t sampleRate = 0;                  // 0 when unknown
  uint32_t channels = 0;                    // 0 when unknown
  std::string name;                         // stream title, may be empty
  std::string language;                     // language tag, may be empty

  bool operator==(const AudioTrack&) const = default;
};

// "轨道 2 · 48000 Hz · 立体声 · Commentary（eng）"
std::string TrackLabel(const AudioTrack& track);

// A ".wav" file is one track (index kFirstAudioStream) without opening it;
// otherwise the system reader lists the streams, or FFmpeg when the system
// reader cannot open the file.
bool ListAudioTracks(const std::filesystem::path& path, std::vector<AudioTrack>& tracks, std::string& error);

// Decodes one track: the system reader with that stream alone, else FFmpeg
// by the track's ordinal (whose message is the one returned). With a
// `spill`, a long track's frames go to its file past its limit.
bool DecodeAudioTrack(const std::filesystem::path& path, const AudioTrack& track, AudioFormat& format,
                      std::vector<float>& samples, std::string& error, SampleSpill* spill = nullptr);

// Decodes every listed track (system reader first, FFmpeg by ordinal second),
// brings them to the first track's rate and to stereo when any track has more
// than one channel, and sums them; the sum is scaled down when it clips.
// A track past `trackSpillBytes` is kept in a spill file while the sum is
// built a stretch at a time; with a `spill`, the sum itself goes there past
// its limit (see DecodeWithFfmpeg).
bool DecodeAllTracksMixed(const std::filesystem::path& path, const std::vector<AudioTrack>& tracks,
                          AudioFormat& format, std::vector<float>& samples, std::string& error,
                          SampleSpill* spill = nullptr, uint64_t trackSpillBytes = kDefaultSpillBytes);

// The audition excerpt of one track: at most `scanSeconds` of material are
// read; leading silence (blocks whose peak is at most 0.01) is skipped and
// `clipSeconds` from the first block with sound are returned (1 or 2
// channels). When the scanned material is all silent, `allSilent` is set and
// the samples are empty; that is still a success.
bool DecodeAudition(const std::filesystem::path& path, const AudioTrack& track, double clipSeconds,
                    double scanSeconds, AudioFormat& format, std::vector<float>& samples, bool& allSilent,
                    std::string& error);

// Channel conversion used by the mix: mono to stereo copies each value;
// otherwise each frame becomes the mean of its channels, written once (mono
// target) or twice (stereo target). Equal counts copy.
std::vector<float> ConvertChannels(const std::vector<float>& input, unsigned fromChannels, unsigned toChannels);

}  // namespace vesk
