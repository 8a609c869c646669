// The system-reader stage on Windows. Until the Media Foundation reader is
// wired in here the FFmpeg stages decide alone (as on Linux), and only a
// system-reader answer may offer the pass-through engine.
#include "video/probe_stages.h"

namespace vesk {

bool SystemReaderProbe(const std::filesystem::path&, SystemProbeInfo& info) {
  info = SystemProbeInfo{};
  return false;
}

bool PassThroughFromLibProbe() { return false; }

}  // namespace vesk
