// Minimal whole-file WAV writer used until the recording sink lands.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>

#include "media/wav_format.h"
#include "media/wav_sink.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vesk {

bool WriteWavFile(const std::filesystem::path& path, const AudioFormat& format, const std::vector<float>& samples,
                  std::string& error, int bits, const FramesProgress& progress) {
  error.clear();
  if (format.channels == 0 || (bits != 16 && bits != 24 && bits != 32)) {
    error = "不支持的 WAV 格式。";
    return false;
  }
  const AudioFormat out{format.sampleRate, format.channels, uint16_t(bits)};
  const size_t bytesPer = size_t(bits / 8);
  const uint64_t dataBytes = uint64_t(samples.size() / format.channels) * format.channels * bytesPer;
  if (dataBytes > 0xFFFFFFFFull - 36) {
    error = "音频太长，一个 WAV 文件装不下。";
    return false;
  }
  File f;
  if (!f.OpenWrite(path)) {
    error = "无法创建文件：" + PathToUtf8(path);
    return false;
  }
  const uint64_t totalFrames = samples.size() / format.channels;
  const auto header = BuildWavHeader(out, uint32_t(dataBytes));
  bool ok = f.Write(header.data(), header.size());
  const size_t chunkFrames = 65536;
  std::vector<uint8_t> buf;
  for (uint64_t frame = 0; ok && frame < totalFrames; frame += chunkFrames) {
    const size_t n = size_t(std::min<uint64_t>(chunkFrames, totalFrames - frame)) * format.channels;
    const float* src = samples.data() + frame * format.channels;
    buf.resize(n * bytesPer);
    uint8_t* p = buf.data();
    for (size_t i = 0; i < n; ++i) {
      if (bits == 32) {
        std::memcpy(p, &src[i], 4);
        p += 4;
        continue;
      }
      const float v = std::clamp(src[i], -1.0f, 1.0f);
      const int32_t q = int32_t(std::lround(v * (bits == 16 ? 32767.0 : 8388607.0)));
      for (size_t b = 0; b < bytesPer; ++b) *p++ = uint8_t(uint32_t(q) >> (8 * b));
    }
    ok = f.Write(buf.data(), buf.size());
    if (ok && progress && !progress(frame + n / format.channels, totalFrames)) {
      f.Close();
      std::error_code ec;
      std::filesystem::remove(path, ec);
      return false;
    }
  }
  if (!ok) {
    error = "写入失败（磁盘满了或没有写权限）：" + PathToUtf8(path);
    f.Close();
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return false;
  }
  return true;
}

}  // namespace vesk
