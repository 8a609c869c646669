// Feeds arbitrary bytes to the WAV reader, through memory and through a real
// file, and checks that no file descriptor is left open on any path, that
// both agree, and that a refused RIFF/WAVE file always has a reason.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "media/wav_reader.h"
#include "platform/file.h"

static int LowestFreeFd() {
  const int fd = dup(0);
  close(fd);
  return fd;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("vesk-fuzz-" + std::to_string(getpid()) + ".wav");
  vesk::AudioFormat format;
  std::vector<float> samples;
  std::string error;
  bool riff = false;
  int bits = 0;
  const bool okMemory = vesk::ReadWavMemory(data, size, format, samples, error, riff, &bits);
  // A RIFF/WAVE file the reader refuses is never handed to another decoder,
  // so the refusal must say why.
  if (!okMemory && riff && error.empty()) abort();
  if (okMemory && (format.sampleRate < 1 || format.sampleRate > 768000)) abort();
  if (okMemory && (format.channels < 1 || samples.size() % format.channels != 0)) abort();
  if (okMemory)
    for (float v : samples)
      if (!(v >= -1.0f && v <= 1.0f)) abort();

  {
    vesk::File f;
    if (!f.OpenWrite(path) || !f.Write(data, size)) return 0;
  }
  const int before = LowestFreeFd();
  std::vector<float> fromFile;
  std::string fileError;
  const bool okFile = vesk::ReadWavFile(path, format, fromFile, fileError, riff, &bits);
  if (LowestFreeFd() != before) abort();  // handle left open
  if (okFile != okMemory || fromFile != samples || fileError != error) abort();
  return 0;
}
