#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "media/audio_format.h"

namespace vesk {

using FramesProgress = std::function<bool(uint64_t framesDone, uint64_t totalFrames)>;
bool WriteWavFile(const std::filesystem::path& path, const AudioFormat& format,
                  const std::vector<float>& samples, std::string& error, int bits,
                  const FramesProgress& progress = {});

}  // namespace vesk
