#pragma once
// Decoding through the FFmpeg libraries: the last stage of every decode and
// the only one on Linux. Builds without the libraries (the Windows cross
// build) get stand-ins that fail with a clear message.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_format.h"
#include "media/audio_tracks.h"

namespace vesk {
class SampleSpill;
}

namespace vesk {

// Decodes the `ordinal`-th audio stream (counting audio streams only) into
// interleaved floats, keeping every channel. `sourceBits` is set to 0. With
// a `spill`, what passes its limit goes to its file and `samples` keeps the
// frames after the last spilled ones.
bool DecodeWithFfmpeg(const std::filesystem::path& path, int32_t ordinal, AudioFormat& format,
                      std::vector<float>& samples, std::string& error, int* sourceBits = nullptr,
                      SampleSpill* spill = nullptr);

// Every audio stream in order, with "title" and "language" metadata.
bool ListAudioTracksWithFfmpeg(const std::filesystem::path& path, std::vector<AudioTrack>& tracks,
                               std::string& error);

// The audition excerpt (see DecodeAudition) of the `ordinal`-th audio stream.
bool DecodeAuditionWithFfmpeg(const std::filesystem::path& path, int32_t ordinal, double clipSeconds,
                              double scanSeconds, AudioFormat& format, std::vector<float>& samples,
                              bool& allSilent, std::string& error);

// What the libraries know about the picture of a file.
struct FfmpegVideoProbe {
  bool hasVideo = false;
  std::string displayName;  // "H.264", "VP8/VP9", ...
  std::string codecName;    // the library's name: "h264", "vp9", ...
  int32_t width = 0;
  int32_t height = 0;
  double frameRate = 0;
  double duration = 0;  // seconds, 0 when unknown
  bool canMux = false;  // whether the picture can be stream-copied into MP4/MKV
};

// The in-memory mux header test is supplied by the video code, which owns the
// muxing; it receives the stream's AVCodecParameters, time base and average
// frame rate. Without one, canMux stays false.
using MuxHeaderTestFn = bool (*)(const void* codecParameters, int timeBaseNum, int timeBaseDen, int frameRateNum,
                                 int frameRateDen);

// The first video stream that is not cover art, and the container duration.
bool ProbeVideoWithFfmpeg(const std::filesystem::path& path, FfmpegVideoProbe& probe, std::string& error,
                          MuxHeaderTestFn muxHeaderTest = nullptr);

}  // namespace vesk
