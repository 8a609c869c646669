// Linux has no system media source reader: the FFmpeg libraries decode
// everything that is not a plain WAV.
#include "media/system_reader.h"

namespace vesk {

std::unique_ptr<SystemAudioReader> OpenSystemAudioReader(const std::filesystem::path&, int32_t) { return nullptr; }

SystemListing ListAudioTracksWithSystemReader(const std::filesystem::path&, std::vector<AudioTrack>& tracks) {
  tracks.clear();
  return SystemListing::Unavailable;
}

}  // namespace vesk
