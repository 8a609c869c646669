#include "doc/wav_save.h"

#include <system_error>

#include "media/wav_sink.h"

namespace vesk {

bool MoveWavSegmentsInto(SaveStaging& staging, const std::filesystem::path& target,
                         std::vector<std::filesystem::path>& moved, std::string& error) {
  moved.clear();
  std::error_code ec;
  // The segments first: the target appears last, once the whole set is in place.
  for (uint32_t n = 1; std::filesystem::exists(std::filesystem::symlink_status(SegmentPath(staging.File(), n), ec)); ++n) {
    const std::filesystem::path to = SegmentPath(target, n);
    if (!staging.MoveInto(to, error, SegmentPath(staging.File(), n))) return false;
    moved.push_back(to);
  }
  if (!staging.MoveInto(target, error)) return false;
  moved.insert(moved.begin(), target);
  return true;
}

bool SaveWavStaged(const std::filesystem::path& path, const AudioFormat& format, const SampleSource& samples,
                   int bits, std::vector<std::filesystem::path>& files, std::string& error,
                   const FramesProgress& progress) {
  files.clear();
  SaveStaging staging;
  return staging.Create(path, error) && WriteWavFile(staging.File(), format, samples, error, bits, progress) &&
         MoveWavSegmentsInto(staging, path, files, error);
}

}  // namespace vesk
