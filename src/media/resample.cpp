#include "media/resample.h"

#include <cmath>

namespace vesk {

bool ResampleAudio(const std::vector<float>& input, uint32_t sourceRate, uint32_t targetRate, uint16_t channels,
                   std::vector<float>& output, std::string& error) {
  if (sourceRate == 0 || targetRate == 0 || (channels != 1 && channels != 2)) {
    error = "重采样参数不合法。";
    return false;
  }
  const size_t frames = input.size() / channels;
  if (sourceRate == targetRate || frames <= 1) {
    output = input;
    return true;
  }
  const double step = double(sourceRate) / double(targetRate);
  const size_t outFrames = size_t(std::floor(double(frames) / step));
  output.clear();
  output.reserve(outFrames * channels);
  double position = 0.0;
  for (size_t i = 0; i < outFrames; ++i) {
    const size_t k = size_t(position);
    if (k + 1 >= frames) break;
    const double f = position - double(k);
    const float* a = &input[k * channels];
    const float* b = a + channels;
    for (uint16_t c = 0; c < channels; ++c) output.push_back(float(a[c] + (double(b[c]) - a[c]) * f));
    position += step;
  }
  return true;
}

}  // namespace vesk
