#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

// Linear-interpolation resampling of a whole interleaved clip (1 or 2
// channels). Keeps duration, pitch and level; no anti-alias filtering. The
// output can end a frame or two before frames / step where the last frame
// would need input beyond the end. On invalid parameters fails with
// "重采样参数不合法。" and leaves `output` untouched.
bool ResampleAudio(const std::vector<float>& input, uint32_t sourceRate, uint32_t targetRate, uint16_t channels,
                   std::vector<float>& output, std::string& error);

}  // namespace vesk
