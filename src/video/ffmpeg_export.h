#pragma once
// The edited-video export through the ffmpeg program: the picture is copied
// unchanged, the edited audio replaces one audio track, other source tracks
// may be kept; a failing MP4 is retried with kept tracks transcoded, then as
// MKV. The source file is only ever read.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "media/audio_format.h"
#include "media/audio_tracks.h"
#include "media/sample_source.h"
#include "video/video_export_options.h"

namespace vesk {

// (percent 0-100, stage text); false cancels.
using ExportProgress = std::function<bool(int percent, const std::string& stage)>;

// On success `actualOutput` names the file written: the requested path, or,
// when MP4 cannot hold the streams, a new MKV next to it whose name no file
// had (FreeMkvPath). Every run writes inside a staging folder beside the
// output, so a failed or cancelled export leaves nothing behind and never
// touches an existing file; a run that reports success without writing a
// file fails. False with an empty error means cancelled.
bool ExportVideoEditedViaFfmpeg(const std::filesystem::path& ffmpeg, const std::filesystem::path& source,
                                const SampleSource& samples, const AudioFormat& format,
                                const VideoEditedExportOptions& options, const std::filesystem::path& output,
                                std::filesystem::path& actualOutput, std::string& error, double* duration,
                                const ExportProgress& progress);
bool ExportVideoEditedViaFfmpeg(const std::filesystem::path& ffmpeg, const std::filesystem::path& source,
                                const std::vector<float>& samples, const AudioFormat& format,
                                const VideoEditedExportOptions& options, const std::filesystem::path& output,
                                std::filesystem::path& actualOutput, std::string& error, double* duration,
                                const ExportProgress& progress);

// What an export run knows beyond the options: how long the new track is to
// be, and the titles and languages of the source's audio tracks.
struct ExportTrackFacts {
  uint64_t trackFrames = 0;  // at `inputRate`; 0 = unknown (padded and cut with the picture)
  uint32_t inputRate = 0;    // rate of the supplied audio
  std::vector<AudioTrack> sourceTracks;  // the source's audio tracks by ordinal; may be empty
};

// The new track's length for `frames` of supplied audio: the supplied length,
// unless it falls short of the source's length (`sourceSeconds`, 0 = unknown)
// by more than a container's 1 ms timestamp step (padded with silence to
// it) or runs more than 0.1 s past it (cut there). A decoded source track
// that ends a codec block past the stated length keeps its length.
uint64_t NewTrackFrames(uint64_t frames, uint32_t rate, double sourceSeconds);

// The arguments of one export run. Without `facts` the edited track is padded
// and cut with the picture; with a known length it ends exactly there, and
// every output audio track takes the title and language of the source track
// it stands for. A still picture (`stillPicture`) is held for the sound.
std::vector<std::string> BuildFfmpegArgs(const std::string& source, const std::string& tempAudio,
                                         const VideoEditedExportOptions& options, const std::string& output,
                                         bool transcodeKept, bool stillPicture = false,
                                         const ExportTrackFacts* facts = nullptr);

// True when writing `output` would write over `source`: the names are equal
// ignoring case, or both name the same file (links, relative paths).
bool SameFileAsSource(const std::filesystem::path& source, const std::filesystem::path& output);

// "<folder>/<stem>_导出.mp4", or "_导出2.mp4", "_导出3.mp4", … when taken.
std::filesystem::path DefaultVideoExportPath(const std::filesystem::path& video);

// "<folder>/<stem>.mkv" for an output path, or "<stem>2.mkv", "<stem>3.mkv",
// … when taken: the MKV retry never writes over an existing file.
std::filesystem::path FreeMkvPath(const std::filesystem::path& output);

// The failure text shown to the user: "ffmpeg 导出失败。" (with the disk-full
// words when ffmpeg's output says the disk refused) plus at most 400
// characters of ffmpeg's own output.
std::string FfmpegFailureText(const std::string& failureLog);

}  // namespace vesk
