#pragma once
// The places after the configured path where this platform looks for the
// ffmpeg program: program folder, each PATH entry, common install places.
#include <vector>

#include "video/ffmpeg_runner.h"

namespace vesk {

std::vector<FfmpegCandidate> PlatformFfmpegCandidates();

}  // namespace vesk
