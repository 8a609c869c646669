// Linux writes the pass-through export with the FFmpeg libraries.
#include "video/pass_through_libav.h"
#include "video/pass_through.h"

namespace vesk {

bool PassThroughWrite(const std::filesystem::path& source, uint32_t, const std::vector<float>& samples, uint32_t rate,
                      uint16_t channels, int64_t totalFrames, const VideoEditedExportOptions& options,
                      const std::filesystem::path& output, std::string& error) {
  return PassThroughWriteLibav(source, samples, rate, channels, totalFrames, options, output, error);
}

}  // namespace vesk
