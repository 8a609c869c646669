#pragma once
// The pass-through export written with the FFmpeg libraries (stream copy of
// the first picture stream, AAC or FLAC encoder for the audio). Builds
// without them get a stand-in that fails with a message.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "video/video_export_options.h"

namespace vesk {

bool PassThroughWriteLibav(const std::filesystem::path& source, const std::vector<float>& samples, uint32_t rate,
                           uint16_t channels, int64_t totalFrames, const VideoEditedExportOptions& options,
                           const std::filesystem::path& output, std::string& error);

}  // namespace vesk
