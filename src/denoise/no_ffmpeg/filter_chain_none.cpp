// Builds without FFmpeg's filter library have no built-in noise reduction.
#include "denoise/builtin_denoise.h"

namespace vesk {

namespace {
constexpr const char* kNoFilters = "这个版本没有带 FFmpeg 滤镜库，内置降噪用不了";
}

bool BuiltinDenoiseSupported() { return false; }

bool RunFilterChain(const std::vector<FilterStep>&, const float*, uint64_t, uint32_t, uint32_t, std::vector<float>&,
                    std::string*, std::string& error) {
  error = kNoFilters;
  return false;
}

bool RunFilterChainInPlace(const std::vector<FilterStep>&, std::vector<float>&, uint32_t, uint32_t, uint64_t,
                           std::string& error) {
  error = kNoFilters;
  return false;
}

}  // namespace vesk
