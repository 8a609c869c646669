#include "media/mp3_output_type.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/text.h"

namespace vesk {

int ChooseMp3OutputType(const std::vector<Mp3OutputType>& types, uint32_t sampleRate, uint16_t channels,
                        uint32_t kbps) {
  int best = -1;
  int64_t bestDiff = 0;
  for (size_t i = 0; i < types.size(); ++i) {
    const Mp3OutputType& t = types[i];
    if (t.sampleRate != sampleRate || t.channels != channels) continue;
    const int64_t diff = std::llabs(int64_t(Mp3TypeKbps(t)) - int64_t(kbps));
    if (best < 0 || diff < bestDiff) {
      best = int(i);
      bestDiff = diff;
    }
  }
  return best;
}

std::vector<Mp3OutputType> StandardMp3OutputTypes() {
  static constexpr uint32_t kMpeg1[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static constexpr uint32_t kMpeg2[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  // MPEG-2.5 shares the MPEG-2 table, but an encoder cannot fill frames
  // beyond 64 kbps at these rates.
  static constexpr uint32_t kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  std::vector<Mp3OutputType> types;
  for (uint32_t rate : kRates) {
    for (uint16_t channels = 1; channels <= 2; ++channels) {
      const bool mpeg1 = rate >= 32000;
      const uint32_t* begin = mpeg1 ? std::begin(kMpeg1) : std::begin(kMpeg2);
      const uint32_t* end = mpeg1 ? std::end(kMpeg1) : std::end(kMpeg2);
      for (const uint32_t* k = begin; k != end; ++k) {
        if (rate <= 12000 && *k > 64) break;
        types.push_back({rate, channels, *k * 1000 / 8});
      }
    }
  }
  return types;
}

std::string Mp3NoEncoderMessage() {
  return "系统没有可用的 MP3 编码器。请改用 WAV 录制，或在 Windows 设置里安装媒体功能包。";
}

std::string Mp3UnsupportedMessage(uint32_t sampleRate, uint16_t channels) {
  return Format("系统 MP3 编码器不支持 %u Hz / %d 声道 这个组合（它能做的采样率是 8000~48000 中的若干档）。\n"
                "请把声道改成另一种，或改用 WAV 录制。",
                sampleRate, int(channels));
}

int16_t FloatToPcm16(float v) {
  if (std::isnan(v)) return 0;  // a NaN would make the integer conversion undefined
  double x = std::clamp(double(v), -1.0, 1.0) * 32768.0;
  x = x >= 0 ? x + 0.5 : x - 0.5;
  return int16_t(std::clamp(std::trunc(x), -32768.0, 32767.0));
}

}  // namespace vesk
