#pragma once
#include <string>
#include <vector>

#include "media/audio_sink.h"

namespace vesk {

// Feeds a whole buffer to an open sink in half-second blocks, reporting
// progress after each; a false answer of `progress` cancels (false, empty error).
bool WriteInChunks(AudioSink& sink, const AudioFormat& format, const std::vector<float>& samples,
                   std::string& error, const FramesProgress& progress = {});

// Writes a whole buffer as a WAV file of 16, 24 or 32 (float) bits; other
// depths write 16. A failed or cancelled write leaves a shorter valid file.
bool WriteWavFile(const std::filesystem::path& path, const AudioFormat& format,
                  const std::vector<float>& samples, std::string& error, int bits,
                  const FramesProgress& progress = {});

}  // namespace vesk
