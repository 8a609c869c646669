// Linux has no system source reader; the FFmpeg stages decide alone, and the
// library pass-through engine takes any H.264 picture they find.
#include "video/probe_stages.h"

namespace vesk {

bool SystemReaderProbe(const std::filesystem::path&, SystemProbeInfo& info) {
  info = SystemProbeInfo{};
  return false;
}

bool PassThroughFromLibProbe() { return true; }

}  // namespace vesk
