#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_format.h"

namespace vesk {

class SampleSpill;

// Decodes any supported audio or video file into interleaved floats: the WAV
// reader first (a RIFF/WAVE file it rejects is never handed on), then the
// other decoders of this build. `sourceBits` receives the stored depth when
// the decoder knows it, else 0. With a `spill`, a long decode's frames go to
// its file past its limit, and `samples` keeps only those after them.
bool LoadAudioFile(const std::filesystem::path& path, AudioFormat& format, std::vector<float>& samples,
                   std::string& error, int* sourceBits = nullptr, SampleSpill* spill = nullptr);

}  // namespace vesk
