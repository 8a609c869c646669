#pragma once
// Reading an exported video back to confirm it holds what the edit meant:
// the picture stream has the source's frame count and length, the new audio
// track is as long as the picture within one frame, and at a few points the
// audio is what was exported (removed ranges silent at their source time,
// kept audio in place). A sound track that silently slid out of place is
// the failure this exists for. The track may run past the picture by silent
// padding up to one encoder block; more, or sound there, is a difference. Runs the ffmpeg program; the exported file is
// only read.
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
std::vector<CheckWindow> ChooseCheckWindows(const std::vector<FrameRange>& kept, const std::vector<float>& samples,
                                            unsigned channels, uint32_t rate);

// The timing of one picture stream as ffmpeg's framecrc output lists it.
struct PictureTiming {
  int64_t frames = 0;
  double seconds = 0;       // first packet's start to the last packet's end
  double frameSeconds = 0;  // typical packet duration
};
// False when the text holds no packet line.
bool ParsePictureTiming(const std::string& framecrc, PictureTiming& timing);

// One window compared: `expected` is the exported mono mix of the window,
// `output` the decoded mono of the same stretch with `margin` extra frames
// on either side (zeros where the file has none). An empty text means it
// matched; otherwise the text says what differs.
std::string CompareCheckWindow(const std::vector<float>& expected, const std::vector<float>& output, size_t margin,
                               bool removed, uint32_t rate, double atSeconds);

struct ExportCheckInput {
  std::filesystem::path ffmpeg;
  std::filesystem::path source;
  std::filesystem::path output;
  std::filesystem::path workFolder;  // private scratch folder for ffmpeg's output
  int audioIndex = 0;                // the edited track among the output's audio streams
  const std::vector<float>* samples = nullptr;  // what was exported (interleaved, source timeline)
  AudioFormat format;
  std::vector<CheckWindow> windows;
};

struct ExportCheckResult {
  std::vector<std::string> differences;  // empty: everything matched
  PictureTiming sourcePicture;
  PictureTiming outputPicture;
  double audioSeconds = 0;
  // Silent padding past the picture (and one frame), shorter than one
  // encoder block: ffmpeg ends a padded track at a block boundary.
  double silentTailSeconds = 0;
  int windowsChecked = 0;
};

// True when the check ran (differences or not). False with an empty error
// when the progress callback cancelled; false with a message when the file
// could not be read back.
bool CheckVideoExport(const ExportCheckInput& input, ExportCheckResult& result, std::string& error,
                      const ExportProgress& progress);

}  // namespace vesk
