// Writing the document out as WAV or MP3.
#include <algorithm>
#include <random>
#include <system_error>

#include "doc/audio_doc.h"
#include "media/mp3_sink.h"
#include "media/resample.h"
#include "media/wav_sink.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace vesk {

namespace {

constexpr const char* kCannotCreate = "无法创建输出文件（路径可能不存在或没有写权限）。";

bool IsMp3Rate(uint32_t rate) {
  static constexpr uint32_t kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  return std::find(std::begin(kRates), std::end(kRates), rate) != std::end(kRates);
}

// A private folder beside the target. The file is written inside it and moved
// over the target only when complete, so a failed or cancelled save never
// truncates or deletes what was at the target before (possibly the
// recording the document came from). Creating the folder is exclusive, so no
// existing file or link is followed, and it sits on the target's volume, so
// the final move is a rename.
class StagingFolder {
 public:
  ~StagingFolder() {
    if (dir_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  bool Create(const std::filesystem::path& target, std::string& error) {
    std::filesystem::path parent = target.parent_path();
    if (parent.empty()) parent = ".";
    std::mt19937_64 random(std::random_device{}() ^ uint64_t(Now100ns()));
    for (int attempt = 0; attempt < 64; ++attempt) {
      const std::filesystem::path dir =
          parent / PathFromUtf8(vesk::Format(".vesk-save-%016llx", static_cast<unsigned long long>(random())));
      std::error_code ec;
      if (std::filesystem::create_directory(dir, ec)) {
        dir_ = dir;
        file_ = dir / target.filename();
        return true;
      }
      if (ec) break;  // missing folder or no permission; another name will not help
    }
    error = kCannotCreate;
    return false;
  }

  const std::filesystem::path& File() const { return file_; }

  bool MoveInto(const std::filesystem::path& target, std::string& error) {
    std::error_code ec;
    std::filesystem::rename(file_, target, ec);
    if (ec) {
      error = "无法用新文件替换目标文件（它可能正被其他程序占用，或没有写权限）。";
      return false;
    }
    return true;
  }

 private:
  std::filesystem::path dir_;
  std::filesystem::path file_;
};

}  // namespace

bool AudioDoc::Save(const std::filesystem::path& path, bool mp3, uint32_t mp3Kbps, std::string& error,
                    const AudioFormat* requested, const DenoiseCallback& denoise, const SaveProgress& progress) {
  error.clear();
  if (samples_.empty()) {
    error = "没有内容可保存。";
    return false;
  }
  auto report = [&](int32_t percent, const std::string& stage) {
    if (!progress || progress(percent, stage)) return true;
    error.clear();
    return false;
  };

  uint32_t targetRate = requested && requested->sampleRate ? requested->sampleRate : format_.sampleRate;
  if (mp3 && !IsMp3Rate(targetRate)) targetRate = 48000;

  const std::vector<float>* buffer = &samples_;
  std::vector<float> converted;
  if (targetRate != format_.sampleRate) {
    if (!report(3, "正在转换采样率…")) return false;
    if (!ResampleAudio(samples_, format_.sampleRate, targetRate, format_.channels, converted, error)) return false;
    buffer = &converted;
  }
  if (denoise) {
    if (!report(15, "正在跑降噪…")) return false;
    std::vector<float> processed(*buffer);
    if (!denoise(processed, targetRate)) {
      // An empty text would read as a cancel to the caller.
      if (error.empty()) error = "降噪处理失败，没有写出文件。";
      return false;
    }
    converted = std::move(processed);
    buffer = &converted;
  }

  error.clear();
  const std::string stage = mp3 ? "正在编码 MP3…" : "正在写入 WAV…";
  if (!report(45, stage)) return false;
  const FramesProgress frames = [&](uint64_t done, uint64_t total) {
    const int64_t percent = total ? 45 + int64_t(done * 55 / total) : 45;
    return report(int32_t(std::clamp<int64_t>(percent, 0, 100)), stage);
  };

  StagingFolder staging;
  if (!staging.Create(path, error)) return false;
  const AudioFormat outFormat{targetRate, format_.channels, 16};
  bool written;
  if (mp3) {
    written = WriteMp3File(staging.File(), outFormat, *buffer, mp3Kbps, error, progress ? frames : FramesProgress{});
  } else {
    int bits = requested ? requested->bits : 16;
    if (bits != 24 && bits != 32) bits = 16;
    written = WriteWavFile(staging.File(), outFormat, *buffer, error, bits, progress ? frames : FramesProgress{});
  }
  if (!written || !staging.MoveInto(path, error)) return false;

  sourcePath_ = path;
  displayName_ = FileNamePart(PathToUtf8(path));
  modified_ = false;
  return true;
}

}  // namespace vesk
