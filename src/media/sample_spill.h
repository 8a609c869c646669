#pragma once
// Decoded audio past a size goes to a private temporary file instead of
// memory. A decoder offers its buffer after each block; once the buffer holds
// more than the limit, its whole frames are written out and it is emptied.
// At the end the file is read back like a 32-bit float WAV's data, through
// WavFileFrames (positional reads; the system's file cache holds the frames).
// The file loses its name as soon as it is open for reading: the system frees
// it when the last reader lets go, also after a crash. A run killed during
// the decode leaves a "vesk-<pid>-…" temporary that the next start removes.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "media/audio_format.h"

namespace vesk {

class File;
class WavFileFrames;

inline constexpr uint64_t kDefaultSpillBytes = uint64_t(512) << 20;

class SampleSpill {
 public:
  explicit SampleSpill(uint64_t limitBytes = kDefaultSpillBytes);
  ~SampleSpill();
  SampleSpill(const SampleSpill&) = delete;
  SampleSpill& operator=(const SampleSpill&) = delete;

  // The decode's expected size in values (its container's length): one that
  // will pass the limit goes to the file from the start, a few MiB at a
  // time, so it never holds the limit in memory.
  void Expect(uint64_t values);
  // Values a decode with a spill reserves at most.
  size_t ReserveValues() const;
  // Writes `samples`' whole frames to the file once they pass the limit (or
  // the few MiB of an expected long decode) and keeps the rest. False with
  // the user's text when the file cannot be made or written.
  bool Offer(std::vector<float>& samples, size_t channels, std::string& error);
  // Writes `count` values (whole frames) to the file straight away.
  bool Write(const float* values, size_t count, std::string& error);
  bool Spilled() const { return writer_ != nullptr; }
  // The file could not be made or written (a full or read-only temporary
  // folder): the caller decodes again into memory, as without a spill.
  bool Failed() const { return failed_; }
  // Forgets what was written (a decode that failed half-way starts over).
  void Reset();
  // Writes what is left in `rest` and hands the file over for reading.
  std::shared_ptr<const WavFileFrames> Finish(std::vector<float>& rest, const AudioFormat& format,
                                              std::string& error);

 private:

  uint64_t limit_;
  uint64_t flushBytes_;
  std::filesystem::path path_;
  std::unique_ptr<File> writer_;
  uint64_t written_ = 0;  // values
  bool failed_ = false;
};

}  // namespace vesk
