#include "video/ffmpeg_export.h"

#include <algorithm>
#include <system_error>

#include "core/app_log.h"
#include "media/ffmpeg_url.h"
#include "media/wav_sink.h"
#include "platform/file.h"
#include "platform/text.h"
#include "video/ffmpeg_runner.h"
#include "video/media_probe.h"

namespace vesk {

namespace {

constexpr size_t kFailureChars = 400;

void RemoveFile(const std::filesystem::path& path) {
  if (path.empty()) return;
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// Cuts UTF-8 text after `maxChars` code points.
std::string CutChars(const std::string& text, size_t maxChars, bool& cut) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((uint8_t(text[i]) & 0xC0) == 0x80) continue;
    if (chars == maxChars) {
      cut = true;
      return text.substr(0, i);
    }
    ++chars;
  }
  cut = false;
  return text;
}

// A temporary WAV name next to the output that names no existing file.
std::filesystem::path TempAudioPath(const std::filesystem::path& output) {
  std::filesystem::path p = output;
  p += ".vesk-audio.wav";
  for (int n = 2; Exists(p) && n < 1000; ++n) {
    p = output;
    p += Format(".vesk-audio%d.wav", n);
  }
  return p;
}

}  // namespace

bool SameFileAsSource(const std::filesystem::path& source, const std::filesystem::path& output) {
  if (EqualsNoCase(PathToUtf8(source), PathToUtf8(output))) return true;
  std::error_code ec;
  if (std::filesystem::equivalent(source, output, ec) && !ec) return true;
  // A dangling path can still resolve to the same place once normalised.
  const auto a = std::filesystem::weakly_canonical(source, ec);
  if (ec) return false;
  const auto b = std::filesystem::weakly_canonical(output, ec);
  return !ec && a == b;
}

std::filesystem::path DefaultVideoExportPath(const std::filesystem::path& video) {
  const std::filesystem::path folder = video.parent_path();
  const std::string stem = PathToUtf8(video.stem());
  std::filesystem::path p = folder / PathFromUtf8(stem + "_导出.mp4");
  for (int n = 2; Exists(p); ++n) p = folder / PathFromUtf8(stem + "_导出" + std::to_string(n) + ".mp4");
  return p;
}

std::filesystem::path FreeMkvPath(const std::filesystem::path& output) {
  const std::filesystem::path folder = output.parent_path();
  const std::string stem = PathToUtf8(output.stem());
  std::filesystem::path p = folder / PathFromUtf8(stem + ".mkv");
  for (int n = 2; Exists(p); ++n) p = folder / PathFromUtf8(stem + std::to_string(n) + ".mkv");
  return p;
}

std::string FfmpegFailureText(const std::string& failureLog) {
  std::string error = "ffmpeg 导出失败。";
  if (failureLog.empty()) return error;
  bool cut = false;
  std::string tail = CutChars(failureLog, kFailureChars, cut);
  if (cut) tail += "…";
  while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
  return error + "\n" + tail;
}

std::vector<std::string> BuildFfmpegArgs(const std::string& source, const std::string& tempAudio,
                                         const VideoEditedExportOptions& options, const std::string& output,
                                         bool transcodeKept, bool overwrite) {
  std::vector<std::string> a = {overwrite ? "-y" : "-n", "-hide_banner", "-nostdin", "-loglevel", "error",
                                "-i", source,         "-i",       tempAudio};
  std::vector<int32_t> tracks = options.keep;
  tracks.push_back(options.editedOrdinal);
  std::sort(tracks.begin(), tracks.end());
  tracks.erase(std::unique(tracks.begin(), tracks.end()), tracks.end());
  const size_t p = size_t(std::find(tracks.begin(), tracks.end(), options.editedOrdinal) - tracks.begin());

  a.insert(a.end(), {"-map", "0:v:0"});
  for (int32_t o : tracks) a.insert(a.end(), {"-map", o == options.editedOrdinal ? "1:a:0" : "0:a:" + std::to_string(o)});
  a.insert(a.end(), {"-c:v", "copy"});
  const std::string bitrate = std::to_string(options.aacBitrate / 1000) + "k";
  for (size_t i = 0; i < tracks.size(); ++i) {
    const std::string s = ":a:" + std::to_string(i);
    if (tracks[i] == options.editedOrdinal) {
      if (options.codec == 1)
        a.insert(a.end(), {"-c" + s, "flac", "-sample_fmt" + s, "s32"});
      else
        a.insert(a.end(), {"-c" + s, "aac", "-b" + s, bitrate});
      if (options.sampleRate != 0) a.insert(a.end(), {"-ar" + s, std::to_string(options.sampleRate)});
    } else if (transcodeKept) {
      a.insert(a.end(), {"-c" + s, "aac", "-b" + s, bitrate});
    } else {
      a.insert(a.end(), {"-c" + s, "copy"});
    }
  }
  // Silence appended to the edited track so it never ends before the picture.
  a.insert(a.end(), {"-filter:a:" + std::to_string(p), "apad", "-shortest", output});
  return a;
}

bool ExportVideoEditedViaFfmpeg(const std::filesystem::path& ffmpeg, const std::filesystem::path& source,
                                const std::vector<float>& samples, const AudioFormat& format,
                                const VideoEditedExportOptions& options, const std::filesystem::path& output,
                                std::filesystem::path& actualOutput, std::string& error, double* duration,
                                const ExportProgress& progress) {
  actualOutput.clear();
  error.clear();
  if (duration) *duration = 0;
  std::error_code ec;
  if (ffmpeg.empty() || !std::filesystem::exists(ffmpeg, ec)) {
    error = "没找到 ffmpeg，无法导出视频。";
    return false;
  }
  if (source.empty() || output.empty()) {
    error = "导出参数不完整。";
    return false;
  }
  if (SameFileAsSource(source, output)) {
    error = "输出文件不能和源视频是同一个文件 —— 那样会把源素材写坏。请换个文件名。";
    return false;
  }
  if (samples.empty() || format.channels == 0) {
    error = "剪辑区没有音频内容。";
    return false;
  }
  if (IsSpecialFile(source)) {
    error = kSpecialFileText;
    return false;
  }

  VideoProbeResult probe;
  std::string probeError;
  if (ProbeVideo(source, probe, probeError, ffmpeg)) {
    if (duration) *duration = probe.duration;
    if (probe.hasVideo && !probe.canMux) {
      error = "这个文件的画面编码是 " + (probe.codec.empty() ? std::string("未知") : probe.codec) +
              "，MP4 和 MKV 容器都不收，画面导不出来（声音可以用「剪辑后另存WAV / MP3」单独导出）。";
      return false;
    }
  }

  const std::filesystem::path tempAudio = TempAudioPath(output);
  std::string writeError;
  const FramesProgress wavProgress = [&](uint64_t done, uint64_t total) {
    if (!progress || total == 0) return true;
    return progress(int(std::clamp<uint64_t>(done * 10 / total, 0, 100)), "正在准备音频…");
  };
  if (!WriteWavFile(tempAudio, format, samples, writeError, 32, wavProgress)) {
    RemoveFile(tempAudio);
    error = writeError.empty() ? std::string() : "写临时音频失败：" + writeError;
    return false;
  }

  const int64_t totalUs = (duration && *duration > 0) ? int64_t(*duration * 1'000'000 + 0.5) : 0;
  auto band = [&](int lo, int hi, const char* stage) -> FfmpegProgress {
    if (!progress) return {};
    return [=, &progress](int64_t outUs, double) {
      int percent = lo;
      if (totalUs > 0 && outUs >= 0) {
        const double fraction = std::clamp(double(outUs) / double(totalUs), 0.0, 1.0);
        percent = lo + int(fraction * (hi - lo));
      }
      return progress(std::clamp(percent, 0, 100), stage);
    };
  };
  // Every path ffmpeg sees is absolute with the "file:" prefix: "-clip.mp4"
  // would otherwise be an option and "a:b.mp4" a protocol.
  const std::string sourceText = FfmpegFileUrl(source);
  const std::string audioText = FfmpegFileUrl(tempAudio);
  std::filesystem::path work = output;
  // Only files this run created are ever removed; a file the user had under
  // the requested name is theirs, whatever ffmpeg did to it.
  const bool outputExisted = Exists(output);
  auto removeOutput = [&] {
    if (!outputExisted) RemoveFile(output);
  };
  auto cancel = [&] {
    RemoveFile(tempAudio);
    removeOutput();
    error.clear();
    return false;
  };

  std::string failureLog;
  bool cancelled = false;
  bool ok = RunFfmpeg(ffmpeg, BuildFfmpegArgs(sourceText, audioText, options, FfmpegFileUrl(work), false), failureLog,
                      0, band(10, 70, "正在写入画面与音轨…"), &cancelled);
  if (cancelled) return cancel();
  if (!ok && !options.keep.empty()) {
    std::string log2;
    ok = RunFfmpeg(ffmpeg, BuildFfmpegArgs(sourceText, audioText, options, FfmpegFileUrl(work), true), log2, 0,
                   band(70, 85, "原音轨装不进容器，正在转码重试…"), &cancelled);
    if (cancelled) return cancel();
    if (ok)
      AppLog("[ff] 贴回的原轨装不进容器，已改转 AAC：%s", PathToUtf8(work).c_str());
    else
      failureLog += "\n--- 贴回轨转 AAC 重试也失败 ---\n" + log2;
  }
  const bool mp4 = EqualsNoCase(PathToUtf8(work.extension()), ".mp4");
  if (!ok && mp4) {
    // A name nobody has yet, and ffmpeg told not to overwrite: the retry
    // never touches an existing file (nor the source).
    const std::filesystem::path mkv = FreeMkvPath(work);
    std::string log3;
    ok = RunFfmpeg(ffmpeg, BuildFfmpegArgs(sourceText, audioText, options, FfmpegFileUrl(mkv), false, false), log3,
                   0, band(85, 100, "MP4 装不下，正在改用 MKV 重试…"), &cancelled);
    if (cancelled) {
      RemoveFile(mkv);
      return cancel();
    }
    if (ok) {
      removeOutput();
      work = mkv;
      failureLog = log3;
      AppLog("[ff] mp4 装不下，已改 MKV：%s", PathToUtf8(work).c_str());
    } else {
      failureLog += "\n--- 改 MKV 重试也失败 ---\n" + log3;
      RemoveFile(mkv);
    }
  }
  RemoveFile(tempAudio);
  if (!ok) {
    removeOutput();
    error = FfmpegFailureText(failureLog);
    AppLog("[ff] 失败：%s", error.c_str());
    return false;
  }
  if (progress) progress(100, "导出完成。");
  actualOutput = work;
  AppLog("[ff] ok out=%s", PathToUtf8(work).c_str());
  return true;
}

}  // namespace vesk
