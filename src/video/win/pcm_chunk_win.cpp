#include <algorithm>
#include <cmath>

#include "video/win/pcm_chunk.h"

namespace vesk {

void FillPcmChunk(const std::vector<float>& samples, uint16_t channels, int64_t first, int64_t n, uint32_t bits,
                  uint32_t align, std::vector<uint8_t>& out) {
  out.assign(size_t(n) * align, 0);
  if (channels == 0) return;
  const uint32_t bytes = bits / 8;
  // 32-bit scaling stays below 2^31 after float rounding, so +1.0 never wraps.
  const double scale = bits == 16 ? 32767.0 : bits == 24 ? 8388607.0 : 2147483520.0;
  const int64_t realFrames = int64_t(samples.size() / channels);
  const int64_t last = std::min(first + n, realFrames);
  for (int64_t f = std::max<int64_t>(first, 0); f < last; ++f) {
    uint8_t* frame = out.data() + size_t(f - first) * align;
    for (uint16_t c = 0; c < channels; ++c) {
      const float raw = samples[size_t(f) * channels + c];
      const float v = std::isnan(raw) ? 0.0f : std::clamp(raw, -1.0f, 1.0f);
      const auto value = uint32_t(int32_t(std::lround(double(v) * scale)));
      for (uint32_t b = 0; b < bytes; ++b) frame[c * bytes + b] = uint8_t(value >> (8 * b));
    }
  }
}

}  // namespace vesk
