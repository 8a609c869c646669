// TEMPORARY stand-in for the WAV writer until the sink lands: 24-bit PCM
// only, enough for the headless denoise mode.
#include <algorithm>
#include <cmath>

#include "media/wav_format.h"
#include "media/wav_sink.h"
#include "platform/file.h"

namespace vesk {

bool WriteWavFile(const std::filesystem::path& path, const AudioFormat& format, const std::vector<float>& samples,
                  std::string& error, int, const FramesProgress&) {
  AudioFormat f = format;
  f.bits = 24;
  const uint64_t dataBytes = uint64_t(samples.size()) * 3;
  if (dataBytes > 0xFFFFFFFFull - 44) {
    error = "音频太长，写不进一个 WAV 文件。";
    return false;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(44 + dataBytes);
  const auto header = BuildWavHeader(f, uint32_t(dataBytes));
  bytes.insert(bytes.end(), header.begin(), header.end());
  for (float s : samples) {
    const float c = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
    const int32_t v = int32_t(std::lround(double(c) * 8388607.0));
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(v >> 8));
    bytes.push_back(uint8_t(v >> 16));
  }
  File file;
  if (!file.OpenWrite(path) || !file.Write(bytes.data(), bytes.size())) {
    error = "写不出 WAV 文件。";
    return false;
  }
  return true;
}

}  // namespace vesk
