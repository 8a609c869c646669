#pragma once
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "media/audio_format.h"

namespace vesk {

class File;

// Reads an uncompressed PCM (8/16/24/32-bit) or 32-bit IEEE-float WAV into
// interleaved floats. The chunk list is walked up to the "data" chunk, however
// far into the file it lies (every chunk size is checked against the file
// size); a data size of 0 or 0xFFFFFFFF, or one larger than the file, means
// "to the end of the file", so recordings left unsealed by a crash read
// completely. Sample rates above 768000 Hz and float data of another width
// are refused; so is a file whose samples do not fit in memory ("内存不足。").
//
// On success `format` holds the rate, the channel count (every channel is
// kept, in the file's order, so a surround file saved by the document reads
// back as it was) and bits = 16; the stored depth goes to
// `sourceBits` when given. `isRiffWave` is set once the first 12 bytes read
// "RIFF....WAVE": such a file is never handed to another decoder, and a
// refusal always says why. Failing without a message means "not a WAV file".
bool ReadWavFile(const std::filesystem::path& path, AudioFormat& format, std::vector<float>& samples,
                 std::string& error, bool& isRiffWave, int* sourceBits = nullptr);

// The same reader over bytes in memory (used by the fuzzer and by tests of
// the chunk walk).
bool ReadWavMemory(const uint8_t* data, size_t size, AudioFormat& format, std::vector<float>& samples,
                   std::string& error, bool& isRiffWave, int* sourceBits = nullptr);

// Where a WAV's samples lie and how they are stored.
struct WavLayout {
  uint32_t rate = 0;
  uint16_t channels = 0;
  uint16_t bits = 0;
  bool isFloat = false;
  int64_t dataStart = 0;  // byte offset of the first frame
  int64_t dataBytes = 0;  // as the header says, cut to the file's end
  size_t BlockAlign() const { return size_t(bits / 8) * channels; }
  uint64_t Frames() const { return BlockAlign() ? uint64_t(dataBytes) / BlockAlign() : 0; }
};
// The header walk of ReadWavFile on an open file (positional reads only, so
// the file's position is untouched), with the same checks and messages.
bool ProbeWavFile(const File& file, WavLayout& layout, std::string& error, bool& isRiffWave);
// Converts `frames` whole frames stored as `layout` says into floats.
void ConvertWavFrames(const WavLayout& layout, const uint8_t* bytes, size_t frames, float* out);

// The frames of a WAV file, read from the file when asked: the system's file
// cache holds them, not the process. Safe to read from several threads.
class WavFileFrames {
 public:
  // False without a message for a file that is no RIFF WAVE (`isRiffWave`
  // false), with ReadWavFile's message for a WAV it refuses.
  static std::shared_ptr<const WavFileFrames> Open(const std::filesystem::path& path, std::string& error,
                                                   bool& isRiffWave);
  // Frames stored in an open file as `layout` says (a decode's spill file).
  static std::shared_ptr<const WavFileFrames> OverFile(std::unique_ptr<File> file, const WavLayout& layout);
  const WavLayout& Layout() const { return layout_; }
  // Frames [frame, frame + count) as floats; frames the file no longer holds
  // (cut short since it was opened) read as silence.
  void Read(uint64_t frame, uint64_t count, float* out) const;
  // The file was rewritten or cut short in place since it was opened (a
  // rename or delete of its name is no change: what was opened stays).
  bool Changed() const;

 private:
  std::unique_ptr<File> file_;
  WavLayout layout_;
  int64_t size_ = 0;
  int64_t time_ = 0;
};

}  // namespace vesk
