#include "media/audio_loader.h"

#include "media/ffmpeg_decoder.h"
#include "media/sample_spill.h"
#include "media/system_reader.h"
#include "media/wav_reader.h"
#include "platform/file.h"

namespace vesk {

bool LoadAudioFile(const std::filesystem::path& path, AudioFormat& format, std::vector<float>& samples,
                   std::string& error, int* sourceBits, SampleSpill* spill) {
  error.clear();
  samples.clear();
  if (sourceBits) *sourceBits = 0;
  // A FIFO or device would block the decoders' open or first read forever.
  if (IsSpecialFile(path)) {
    error = kSpecialFileText;
    return false;
  }
  bool isRiffWave = false;
  if (ReadWavFile(path, format, samples, error, isRiffWave, sourceBits)) return true;
  // A WAV the reader refuses (compressed, damaged) would only get a less
  // precise message from the other decoders.
  if (isRiffWave) return false;

  if (auto reader = OpenSystemAudioReader(path, kFirstAudioStream)) {
    if (DecodeWithSourceReader(*reader, format, samples, error, spill)) return true;
    if (spill) spill->Reset();
  }
  // The system reader's failure is never shown: FFmpeg has the last word.
  error.clear();
  samples.clear();
  if (sourceBits) *sourceBits = 0;
  return DecodeWithFfmpeg(path, 0, format, samples, error, sourceBits, spill);
}

}  // namespace vesk
