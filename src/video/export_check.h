#pragma once
// Reading an exported video back to confirm it holds what the edit meant:
// the picture stream has the source's frame count and the same span from
// its first frame to its last (containers state a picture's length in
// different ways, so durations are not compared), every audio track is
// there, the new track starts where the picture does and ends where the
// exported sound ends, and at a few points the audio is what was exported
// (removed ranges silent at their source time, kept audio in place). The
// track is placed by the streams' start times, so a container that shifts
// every stream by an encoder's priming is no difference. A sound track that
// silently slid out of place is the failure this exists for. Runs the
// ffmpeg program; the exported file is only read.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_format.h"
#include "video/delete_ranges.h"
#include "video/ffmpeg_export.h"

namespace vesk {

// A stretch of the exported buffer (source timeline) to compare.
struct CheckWindow {
  uint64_t start = 0;  // frame
  uint64_t frames = 0;
  bool removed = false;  // inside a range the edit removed: must be silent
  bool operator==(const CheckWindow&) const = default;
};

// Up to three windows inside the longest removed ranges and up to four in
// kept audio (spread over the length, moved to where the buffer has sound
// when it is quiet at first), each clear of cut edges by 30 ms. `kept` are
// the source-timeline ranges that hold edited audio, ascending.
std::vector<CheckWindow> ChooseCheckWindows(const std::vector<FrameRange>& kept, const SampleSource& samples,
                                            unsigned channels, uint32_t rate);

// The timing of one picture stream as ffmpeg's framecrc output lists it.
struct PictureTiming {
  int64_t frames = 0;
  double startSeconds = 0;  // the earliest presentation time
  double spanSeconds = 0;   // from the first frame's start to the last frame's start
  double seconds = 0;       // the span and one typical frame
  double frameSeconds = 0;  // typical packet duration
  double stepSeconds = 0;   // the stream's time base: how finely its times are stated
};
// False when the text holds no packet line of stream 0.
bool ParsePictureTiming(const std::string& framecrc, PictureTiming& timing);

// The streams a framecrc text lists ("#tb N: ..." lines).
int FramecrcStreams(const std::string& framecrc);

// One window compared: `expected` is the exported mono mix of the window,
// `output` the decoded mono of the same stretch with `margin` extra frames
// on either side (zeros where the file has none). Lags up to `tolerance`
// frames are how finely the container states the track's start and count as
// in place. An empty text means it matched; otherwise the text says what
// differs. A lag is named only when one lag matches clearly better than
// every other: a steady tone matches itself a whole period away.
std::string CompareCheckWindow(const std::vector<float>& expected, const std::vector<float>& output, size_t margin,
                               bool removed, uint32_t rate, double atSeconds, size_t tolerance = 0);

struct ExportCheckInput {
  std::filesystem::path ffmpeg;
  std::filesystem::path source;
  std::filesystem::path output;
  std::filesystem::path workFolder;  // private scratch folder for ffmpeg's output
  int audioIndex = 0;                // the edited track among the output's audio streams
  int audioTracks = 0;               // audio streams the output must have (0: not checked)
  const SampleSource* samples = nullptr;  // what was exported (interleaved, source timeline)
  AudioFormat format;
  std::vector<CheckWindow> windows;
};

struct ExportCheckResult {
  std::vector<std::string> differences;  // empty: everything matched
  PictureTiming sourcePicture;
  PictureTiming outputPicture;
  int audioTracks = 0;
  double audioSeconds = 0;       // the new track from where the picture starts
  double audioLeadSeconds = 0;   // decoded sound ahead of that (AAC priming in Matroska)
  int windowsChecked = 0;
};

// True when the check ran (differences or not). False with an empty error
// when the progress callback cancelled; false with a message when the file
// could not be read back.
bool CheckVideoExport(const ExportCheckInput& input, ExportCheckResult& result, std::string& error,
                      const ExportProgress& progress);

}  // namespace vesk
