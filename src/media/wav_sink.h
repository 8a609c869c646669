#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "media/audio_format.h"

namespace vesk {

// Progress of a writer in frames; returning false cancels.
using FramesProgress = std::function<bool(uint64_t framesDone, uint64_t totalFrames)>;

// Writes interleaved float samples as one WAV file of `bits` (16, 24 or 32 =
// float) at the format's rate and channel count.
bool WriteWavFile(const std::filesystem::path& path, const AudioFormat& format,
                  const std::vector<float>& samples, std::string& error, int bits,
                  const FramesProgress& progress = {});

}  // namespace vesk
