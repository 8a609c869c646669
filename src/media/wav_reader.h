#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_format.h"

namespace vesk {

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

}  // namespace vesk
