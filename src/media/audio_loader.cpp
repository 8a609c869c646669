#include "media/audio_loader.h"

#include "media/wav_reader.h"

namespace vesk {

bool LoadAudioFile(const std::filesystem::path& path, AudioFormat& format, std::vector<float>& samples,
                   std::string& error, int* sourceBits) {
  error.clear();
  if (sourceBits) *sourceBits = 0;
  bool isRiffWave = false;
  if (ReadWavFile(path, format, samples, error, isRiffWave, sourceBits)) return true;
  if (isRiffWave || !error.empty()) return false;
  // Other containers are decoded once the media decoders are in this build.
  error = "暂时只能读取 WAV 文件，这个文件的格式还不支持。";
  return false;
}

}  // namespace vesk
