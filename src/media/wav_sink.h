#pragma once
// Crash-safe WAV writing. The header is rewritten at least once per second
// of audio, and data and header are then flushed to the disk, so a recording
// that is never closed (crash, kill, power cut) still plays up to its last
// second; the data is split into numbered segment
// files (rec.wav, rec_01.wav, rec_02.wav, ...) before a file could outgrow
// the 32-bit size fields.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_sink.h"
#include "media/sample_source.h"
#include "platform/file.h"

namespace vesk {

// Process-wide data-byte limit per segment file (default 0xF8000000). Read at
// every Write; SetSegmentThreshold swaps it atomically and returns the old
// value. Change it only while no sink is writing.
constexpr uint64_t kDefaultSegmentThreshold = 0xF8000000ull;
uint64_t SegmentThreshold();
uint64_t SetSegmentThreshold(uint64_t bytes);

class WavSink final : public AudioSink {
 public:
  WavSink() = default;
  // Closes an open file WITHOUT rewriting the header: the file keeps the
  // header of the last refill, as after a crash (recovery repairs it).
  ~WavSink() override;
  WavSink(const WavSink&) = delete;
  WavSink& operator=(const WavSink&) = delete;

  // format.bits must be 16, 24 or 32 (float); channels and rate non-zero.
  // While open the file is claimed (see File::OpenWriteClaimed): recovery
  // skips it and a second sink cannot replace it.
  bool Open(const std::filesystem::path& path, const AudioFormat& format, uint32_t bitrateKbps,
            std::string& error) override;
  bool Write(const float* samples, size_t count, std::string& error) override;
  // Like Write, for `count` samples already in the file's 16- or 24-bit form
  // (as EncodeSamples makes them); count is whole frames.
  bool WriteEncoded(const uint8_t* bytes, size_t count, std::string& error);
  // Seals the header; a second Close returns true and does nothing.
  bool Close(std::string& error) override;
  uint64_t BytesWritten() const override { return totalBytes_.load(std::memory_order_relaxed); }
  int32_t ActualBitrateKbps() const override { return 0; }

  // Whether each periodic header refresh also flushes data and header to
  // the disk (default on, as a recording needs).
  void SetFlushAtRefresh(bool on) { flushAtRefresh_ = on; }
  // Whether the header is refreshed once per second of audio at all (default
  // on). Off, the header keeps a data size of 0 ("to the end of the file" for
  // every reader) until a segment rolls or Close seals it.
  void SetHeaderRefresh(bool on) { headerRefresh_ = on; }
  // Set before Open: one RF64 file of any length instead of segments, for
  // readers that take RF64 (ffmpeg); off by default.
  void SetRf64(bool on) { rf64_ = on; }

  const AudioFormat& Format() const { return format_; }
  bool IsOpen() const { return file_.IsOpen(); }

 private:
  bool OpenFile(const std::filesystem::path& path, std::string& error);
  // Exactly one of samples and encoded is given.
  bool WritePieces(const float* samples, const uint8_t* encoded, size_t count, std::string& error);
  bool WriteBytes(const uint8_t* data, size_t bytes, std::string& error);
  bool RewriteHeader();
  bool RollSegment(std::string& error);
  uint64_t Threshold() const;
  void CloseFile(bool sealed);

  File file_;
  AudioFormat format_;
  std::filesystem::path basePath_;
  uint32_t segmentNumber_ = 1;
  std::atomic<uint64_t> totalBytes_{0};
  uint64_t headerBytes_ = 0;
  uint64_t segmentBytes_ = 0;
  uint64_t bytesAtLastRefill_ = 0;
  uint64_t refillInterval_ = 1048576;
  bool flushAtRefresh_ = true;
  bool headerRefresh_ = true;
  bool rf64_ = false;
  std::vector<uint8_t> buffer_;
};

// Converts floats into the sink's 16-bit (any other `bits`) or 24-bit
// little-endian integers: NaN as 0, clamped to [-1, 1], rounded half away
// from zero. `out` holds count * bits / 8 bytes.
void EncodeSamples(const float* samples, size_t count, int bits, uint8_t* out);

// Name of segment `number` of a recording started at basePath: the stem plus
// "_%02d" plus the extension (".wav" when the file name has none).
std::filesystem::path SegmentPath(const std::filesystem::path& basePath, uint32_t number);

// Writes `samples` through `sink` in half-second chunks, reporting progress
// after each. A cancel returns false with an empty error.
bool WriteInChunks(AudioSink& sink, const AudioFormat& format, const std::vector<float>& samples,
                   std::string& error, const FramesProgress& progress = {});
bool WriteInChunks(AudioSink& sink, const AudioFormat& format, const SampleSource& source, std::string& error,
                   const FramesProgress& progress = {});

// Writes a whole buffer as WAV (bits 24 or 32 float; anything else gives
// 16). Format's rate and channels are used. On failure or cancel the file is
// still sealed as a valid, shorter WAV; deleting it is the caller's choice.
// Past SegmentThreshold the data continues in SegmentPath(path, 1), … unless
// `rf64` makes it one RF64 file.
bool WriteWavFile(const std::filesystem::path& path, const AudioFormat& format, const float* samples,
                  size_t count, std::string& error, int bits, const FramesProgress& progress = {},
                  bool rf64 = false);
bool WriteWavFile(const std::filesystem::path& path, const AudioFormat& format, const SampleSource& source,
                  std::string& error, int bits, const FramesProgress& progress = {}, bool rf64 = false);
inline bool WriteWavFile(const std::filesystem::path& path, const AudioFormat& format,
                         const std::vector<float>& samples, std::string& error, int bits,
                         const FramesProgress& progress = {}, bool rf64 = false) {
  return WriteWavFile(path, format, samples.data(), samples.size(), error, bits, progress, rf64);
}

}  // namespace vesk
