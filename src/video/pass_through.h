#pragma once
// The pass-through export (--engine mf): a new MP4 whose picture is the
// source's H.264 stream copied packet by packet and whose only audio track
// is the edited audio, encoded as AAC or FLAC and fitted to the picture's
// duration (padded with silence or cut). Needs no external program.
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_format.h"
#include "video/video_export_options.h"

namespace vesk {

// `duration` receives the probed duration (0 until known). An output that
// names the source is refused. On failure the Windows backend removes the
// output it started; the library backend leaves it (it may be incomplete).
bool ExportVideoPassThrough(const std::filesystem::path& source, const std::vector<float>& samples,
                            const AudioFormat& format, const VideoEditedExportOptions& options,
                            const std::filesystem::path& output, std::string& error, double* duration);

// Frames of audio the track gets: round(rate x picture duration), or the
// real frames when the duration is unknown (0).
int64_t PassThroughFrameCount(int64_t realFrames, uint32_t rate, double duration);

// The backend of this platform: copies picture stream `videoStream` of the
// source and feeds exactly `totalFrames` frames of audio (zeros beyond the
// real samples). Called with non-empty samples at `rate`.
bool PassThroughWrite(const std::filesystem::path& source, uint32_t videoStream, const std::vector<float>& samples,
                      uint32_t rate, uint16_t channels, int64_t totalFrames, const VideoEditedExportOptions& options,
                      const std::filesystem::path& output, std::string& error);

}  // namespace vesk
