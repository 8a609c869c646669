// Writing the document out as WAV or MP3.
#include <algorithm>
#include <new>

#include "doc/audio_doc.h"
#include "doc/save_naming.h"
#include "doc/stretch_render.h"
#include "doc/wav_save.h"
#include "media/fold_down.h"
#include "media/mp3_sink.h"
#include "media/wav_sink.h"
#include "platform/text.h"

namespace vesk {

bool AudioDoc::Save(const std::filesystem::path& path, bool mp3, uint32_t mp3Kbps, std::string& error,
                    const AudioFormat* requested, const DenoiseCallback& denoise, const SaveProgress& progress,
                    std::vector<std::filesystem::path>* files) {
  error.clear();
  if (Frames() == 0) {
    error = "没有内容可保存。";
    return false;
  }
  auto report = [&](int32_t percent, const std::string& stage) {
    if (!progress || progress(percent, stage)) return true;
    error.clear();
    return false;
  };

  const uint32_t targetRate = SaveTargetRate(format_.sampleRate, requested ? requested->sampleRate : 0, mp3);

  // The writers read the document's pieces as they are; another rate and
  // the noise reduction write a sequence of their own (in a temporary file
  // when it is long), an MP3 fold of more than two channels a buffer.
  const bool fold = mp3 && format_.channels > 2;
  const bool resample = targetRate != format_.sampleRate;
  SampleSequence resampled, denoised;
  if (resample) {
    if (!report(3, "正在转换采样率…")) return false;
    if (!ResampleLong(*samples_, format_.sampleRate, targetRate, SpillLimitBytes(), resampled, error)) return false;
  }
  const SampleSequence& source = resample ? resampled : *samples_;
  if (denoise) {
    if (!report(15, "正在跑降噪…")) return false;
    if (!denoise(source, targetRate, denoised)) {
      // An empty text would read as a cancel to the caller.
      if (error.empty()) error = "降噪处理失败，没有写出文件。";
      return false;
    }
    resampled = SampleSequence();  // only the denoised copy is written
  }
  const SampleSequence& result = denoise ? denoised : source;
  std::vector<float> buffer;
  try {
    if (fold) buffer = result.Copy(0, result.Frames());
  } catch (const std::bad_alloc&) {
    error = "内存不足，无法保存。";
    return false;
  }

  error.clear();
  const std::string stage = mp3 ? "正在编码 MP3…" : "正在写入 WAV…";
  if (!report(45, stage)) return false;
  const FramesProgress frames = [&](uint64_t done, uint64_t total) {
    const int64_t percent = total ? 45 + int64_t(done * 55 / total) : 45;
    return report(int32_t(std::clamp<int64_t>(percent, 0, 100)), stage);
  };

  // MP3 holds at most two channels: a wider document is saved as the stereo
  // fold it is drawn and played as. Folded last, so the noise reduction
  // still sees the document's own channels.
  AudioFormat outFormat{targetRate, format_.channels, 16};
  if (fold) {
    const size_t frameCount = buffer.size() / format_.channels;
    std::vector<float> folded(frameCount * 2);
    FoldChannels(buffer.data(), frameCount, format_.channels, 2, folded.data());
    buffer = std::move(folded);
    outFormat.channels = 2;
  }
  const ContiguousSamples own(buffer.data(), buffer.size() / outFormat.channels, outFormat.channels);
  const SampleSource& out = fold ? static_cast<const SampleSource&>(own) : result;
  std::vector<std::filesystem::path> written;
  if (mp3) {
    SaveStaging staging;
    if (!staging.Create(path, error) ||
        !WriteMp3File(staging.File(), outFormat, out, mp3Kbps, error, progress ? frames : FramesProgress{}) ||
        !staging.MoveInto(path, error))
      return false;
    written.push_back(path);
  } else {
    int bits = requested ? requested->bits : 16;
    if (bits != 24 && bits != 32) bits = 16;
    if (!SaveWavStaged(path, outFormat, out, bits, written, error, progress ? frames : FramesProgress{})) return false;
  }
  if (files) *files = std::move(written);

  sourcePath_ = path;
  displayName_ = FileNamePart(PathToUtf8(path));
  modified_ = false;
  return true;
}

}  // namespace vesk
