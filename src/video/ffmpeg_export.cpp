#include "video/ffmpeg_export.h"

#include <algorithm>
#include <system_error>

#include "core/app_log.h"
#include "media/ffmpeg_url.h"
#include "media/wav_sink.h"
#include "platform/file.h"
#include "platform/save_staging.h"
#include "platform/text.h"
#include "video/ffmpeg_runner.h"
#include "video/media_probe.h"
#include "video/probe_stages.h"

namespace vesk {

namespace {

constexpr size_t kFailureChars = 400;

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

bool NonEmptyRegularFile(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec)) &&
         std::filesystem::file_size(path, ec) > 0 && !ec;
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
  // The system's own words when the disk (or a quota or size limit) refuses
  // more data; the user is told in the program's words first.
  bool full = false;
  for (const char* words : {"No space left on device", "File too large", "Disk quota exceeded"})
    full = full || failureLog.find(words) != std::string::npos;
  std::string error = full ? "ffmpeg 导出失败：写盘失败（磁盘可能已满）。" : "ffmpeg 导出失败。";
  if (failureLog.empty()) return error;
  bool cut = false;
  std::string tail = CutChars(failureLog, kFailureChars, cut);
  if (cut) tail += "…";
  while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
  return error + "\n" + tail;
}

uint64_t NewTrackFrames(uint64_t frames, uint32_t rate, double sourceSeconds) {
  if (rate == 0 || !(sourceSeconds > 0)) return frames;
  const uint64_t source = uint64_t(sourceSeconds * rate + 0.5);
  // A decoded track runs past the stated length by its codec's priming and
  // last-block padding (AAC, MP3: up to about 50 ms); that is the source's
  // own sound and stays.
  const uint64_t step = rate / 1000, overhang = rate / 10;
  return source > frames + step || frames > source + overhang ? source : frames;
}

std::vector<std::string> BuildFfmpegArgs(const std::string& source, const std::string& tempAudio,
                                         const VideoEditedExportOptions& options, const std::string& output,
                                         bool transcodeKept, bool stillPicture, const ExportTrackFacts* facts) {
  std::vector<std::string> a = {"-y", "-hide_banner", "-nostdin", "-loglevel", "error",
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
  if (facts) {
    // Naming the stream's tags turns ffmpeg's own copying off for every
    // stream, so the picture's are named too. MP4 and MOV keep a track's
    // name only as its handler name.
    const std::string ext = PathToUtf8(PathFromUtf8(output).extension());
    const bool handlerName = EqualsNoCase(ext, ".mp4") || EqualsNoCase(ext, ".mov") || EqualsNoCase(ext, ".m4v");
    a.insert(a.end(), {"-map_metadata:s:v:0", "0:s:v:0"});
    for (size_t i = 0; i < tracks.size(); ++i) {
      const std::string s = ":s:a:" + std::to_string(i);
      // A track the source does not have (a picture without sound gets its
      // first one) has no tags to take.
      const auto t = std::find_if(facts->sourceTracks.begin(), facts->sourceTracks.end(),
                                  [&](const AudioTrack& k) { return k.ordinal == tracks[i]; });
      if (t == facts->sourceTracks.end()) continue;
      a.insert(a.end(), {"-map_metadata" + s, "0:s:a:" + std::to_string(tracks[i])});
      if (!t->name.empty()) {
        a.insert(a.end(), {"-metadata" + s, "title=" + t->name});
        if (handlerName) a.insert(a.end(), {"-metadata" + s, "handler_name=" + t->name});
      }
      if (!t->language.empty()) a.insert(a.end(), {"-metadata" + s, "language=" + t->language});
    }
  }
  if (stillPicture) {
    // A single picture is held for as long as the sound lasts.
  } else if (facts && facts->trackFrames > 0 && facts->inputRate > 0) {
    // The track ends on its exact sample: an encoder pads its last block
    // (FLAC to 4608 frames, AAC to 1024), and cutting with the picture ends
    // it a block or more past the source's sound. The end is cut at the
    // output rate so a resampler's rounding cannot add a frame.
    const uint32_t rate = options.sampleRate ? options.sampleRate : facts->inputRate;
    const uint64_t frames =
        rate == facts->inputRate
            ? facts->trackFrames
            : uint64_t((long double)facts->trackFrames * rate / facts->inputRate + 0.5L);
    std::string filter = rate == facts->inputRate ? std::string() : "aresample=" + std::to_string(rate) + ",";
    filter += "apad=whole_len=" + std::to_string(frames) + ",atrim=end_sample=" + std::to_string(frames);
    a.insert(a.end(), {"-filter:a:" + std::to_string(p), filter});
  } else {
    // Silence appended to the edited track so it never ends before the picture.
    a.insert(a.end(), {"-filter:a:" + std::to_string(p), "apad", "-shortest"});
  }
  // ffmpeg 5.1 still calls FLAC in MP4 experimental and refuses it without this.
  if (options.codec == 1 && EqualsNoCase(PathToUtf8(PathFromUtf8(output).extension()), ".mp4"))
    a.insert(a.end(), {"-strict", "experimental"});
  a.push_back(output);
  return a;
}

bool ExportVideoEditedViaFfmpeg(const std::filesystem::path& ffmpeg, const std::filesystem::path& source,
                                const std::vector<float>& samples, const AudioFormat& format,
                                const VideoEditedExportOptions& options, const std::filesystem::path& output,
                                std::filesystem::path& actualOutput, std::string& error, double* duration,
                                const ExportProgress& progress) {
  const size_t channels = format.channels != 0 ? format.channels : 1;
  return ExportVideoEditedViaFfmpeg(ffmpeg, source, ContiguousSamples(samples.data(), samples.size() / channels, channels),
                                    format, options, output, actualOutput, error, duration, progress);
}

bool ExportVideoEditedViaFfmpeg(const std::filesystem::path& ffmpeg, const std::filesystem::path& source,
                                const SampleSource& samples, const AudioFormat& format,
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
  if (samples.Frames() == 0 || format.channels == 0) {
    error = "剪辑区没有音频内容。";
    return false;
  }
  if (IsSpecialFile(source)) {
    error = kSpecialFileText;
    return false;
  }

  VideoProbeResult probe;
  std::string probeError;
  double sourceSeconds = 0;
  if (ProbeVideo(source, probe, probeError, ffmpeg)) {
    sourceSeconds = probe.duration;
    if (duration) *duration = probe.duration;
    if (probe.hasVideo && !probe.canMux) {
      error = "这个文件的画面编码是 " + (probe.codec.empty() ? std::string("未知") : probe.codec) +
              "，MP4 和 MKV 容器都不收，画面导不出来（声音可以用「剪辑后另存WAV / MP3」单独导出）。";
      return false;
    }
  }

  std::error_code dirError;
  if (IsSpecialFile(output) || std::filesystem::is_directory(output, dirError)) {
    error = kNotRegularOutputText;
    return false;
  }
  const bool stillPicture = LibStillPicture(source);
  ExportTrackFacts facts;
  facts.inputRate = format.sampleRate;
  // Without a probed length the old rule stands: padded and cut with the picture.
  if (sourceSeconds > 0)
    facts.trackFrames = NewTrackFrames(samples.Frames(), format.sampleRate, sourceSeconds);
  std::string tracksError;
  if (!ListAudioTracks(source, facts.sourceTracks, tracksError)) facts.sourceTracks.clear();

  // Everything is written inside a staging folder beside the output and
  // moved out only when complete: a file the user had under the requested
  // name, or under the MKV name, is never touched by a failed run.
  SaveStaging staging;
  if (!staging.Create(output, error)) return false;
  std::filesystem::path tempAudio = staging.File();
  tempAudio += ".vesk-audio.wav";
  std::string writeError;
  const FramesProgress wavProgress = [&](uint64_t done, uint64_t total) {
    if (!progress || total == 0) return true;
    return progress(int(std::clamp<uint64_t>(done * 10 / total, 0, 100)), "正在准备音频…");
  };
  // RF64: one file ffmpeg reads whole, however long the sound.
  if (!WriteWavFile(tempAudio, format, samples, writeError, 32, wavProgress, true)) {
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
  std::filesystem::path work = staging.File();
  auto cancel = [&] {
    error.clear();
    return false;
  };

  std::string failureLog;
  bool cancelled = false;
  auto run = [&](const std::filesystem::path& out, bool transcodeKept, std::string& log, FfmpegProgress band) {
    return RunFfmpeg(ffmpeg,
                     BuildFfmpegArgs(sourceText, audioText, options, FfmpegFileUrl(out), transcodeKept, stillPicture, &facts),
                     log, 0, band, &cancelled);
  };
  bool ok = run(work, false, failureLog, band(10, 70, "正在写入画面与音轨…"));
  if (cancelled) return cancel();
  if (!ok && !options.keep.empty()) {
    std::string log2;
    ok = run(work, true, log2, band(70, 85, "原音轨装不进容器，正在转码重试…"));
    if (cancelled) return cancel();
    if (ok)
      AppLog("[ff] 贴回的原轨装不进容器，已改转 AAC：%s", PathToUtf8(output).c_str());
    else
      failureLog += "\n--- 贴回轨转 AAC 重试也失败 ---\n" + log2;
  }
  std::filesystem::path target = output;
  if (!ok && EqualsNoCase(PathToUtf8(output.extension()), ".mp4")) {
    const std::filesystem::path mkv = staging.Folder() / output.stem().concat(".mkv");
    std::string log3;
    ok = run(mkv, false, log3, band(85, 100, "MP4 装不下，正在改用 MKV 重试…"));
    if (cancelled) return cancel();
    if (ok) {
      work = mkv;
      // A name nobody has yet: neither an existing file nor the source.
      target = FreeMkvPath(output);
      failureLog = log3;
      AppLog("[ff] mp4 装不下，已改 MKV：%s", PathToUtf8(target).c_str());
    } else {
      failureLog += "\n--- 改 MKV 重试也失败 ---\n" + log3;
    }
  }
  if (!ok) {
    error = FfmpegFailureText(failureLog);
    AppLog("[ff] 失败：%s", error.c_str());
    return false;
  }
  if (!NonEmptyRegularFile(work)) {
    error = "ffmpeg 报告成功，却没有写出视频文件（或写出的是空文件），导出失败。";
    AppLog("[ff] 失败：%s 没有写出 %s", PathToUtf8(ffmpeg).c_str(), PathToUtf8(work).c_str());
    return false;
  }
  if (!staging.MoveInto(target, error, work)) return false;
  if (progress) progress(100, "导出完成。");
  actualOutput = target;
  AppLog("[ff] ok out=%s", PathToUtf8(target).c_str());
  return true;
}

}  // namespace vesk
