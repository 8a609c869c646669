#include "ui/save_flow.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "audio/device_catalogue.h"
#include "audio/playback_stream.h"
#include "core/app_log.h"
#include "doc/audio_doc.h"
#include "doc/save_naming.h"
#include "media/audio_loader.h"
#include "media/audio_tracks.h"
#include "media/mp3_encoder.h"
#include "platform/clock.h"
#include "platform/save_staging.h"
#include "platform/system.h"
#include "platform/system_info.h"
#include "platform/text.h"
#include "ui/control_ids.h"
#include "video/export_check.h"
#include "video/ffmpeg_export.h"
#include "video/ffmpeg_runner.h"
#include "video/media_probe.h"

namespace vesk::ui {

namespace {

constexpr char kEmptyArea[] = "剪辑区里还没有内容。";

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::string x = PathToUtf8(a.lexically_normal()), y = PathToUtf8(b.lexically_normal());
  while (x.size() > 1 && (x.back() == '/' || x.back() == '\\')) x.pop_back();
  while (y.size() > 1 && (y.back() == '/' || y.back() == '\\')) y.pop_back();
  return x == y;
}

std::filesystem::path WithSeparator(const std::filesystem::path& folder) { return folder / ""; }

std::filesystem::path WithDefaultExtension(std::filesystem::path path, const char* extension) {
  if (path.extension().empty()) path += extension;
  return path;
}

int EditedOutputIndex(const VideoEditedExportOptions& options) {
  std::vector<int32_t> list = options.keep;
  list.push_back(options.editedOrdinal);
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
  return int(std::find(list.begin(), list.end(), options.editedOrdinal) - list.begin());
}

std::string JoinLines(const std::vector<std::string>& lines, const char* separator) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? separator : "") + lines[i];
  return text;
}

}  // namespace

void SaveFlow::ReportFailure(const char* what, const std::filesystem::path& target, const std::string& error) {
  AppLog("[save] %s %s：%s", what, PathToUtf8(target).c_str(), error.c_str());
  ctx_.port->Status(std::string(what) + "：" + error);
  ctx_.port->ShowBox(BoxKind::Warning, what, error);
}

void SaveFlow::RemoveStaleFolders() {
  std::vector<std::filesystem::path> folders;
  for (const auto* folder : {&ctx_.settings->lastSaveDir, &ctx_.settings->openDir, &ctx_.settings->outputDir}) {
    if (folder->empty()) continue;
    if (std::none_of(folders.begin(), folders.end(), [&](const auto& f) { return SameFolder(f, *folder); }))
      folders.push_back(*folder);
  }
  // File-system clocks tick coarsely and a just-killed save may still be
  // settling; a minute's margin leaves those for the next start.
  const auto before = runStart_ - std::chrono::minutes(1);
  for (const auto& folder : folders) {
    const int removed = RemoveStaleSaveStaging(folder, before);
    if (removed > 0) AppLog("[save] 清理了上次残留的 %d 个导出暂存目录：%s", removed, PathToUtf8(folder).c_str());
  }
}

void SaveFlow::SaveAudio(bool mp3) {
  WindowPort& view = *ctx_.port;
  AudioDoc& doc = *ctx_.doc;
  SettingsState& settings = *ctx_.settings;
  if (doc.Frames() == 0) {
    view.Status(kEmptyArea);
    return;
  }
  if (mp3 && !Mp3EncoderAvailable()) {
    view.ShowBox(BoxKind::Warning, "无法导出 MP3", "系统没有可用的 MP3 编码器，无法导出 MP3。可以导出 WAV。");
    return;
  }
  const std::string stem = ProposedSaveStem(doc.DisplayName(), LocalTimeNow());
  const std::filesystem::path proposal =
      ProposedSavePath(ProposedSaveFolder(settings.lastSaveDir, doc.SourcePath(), settings.outputDir), stem, mp3);
  FileDialogRequest request;
  request.save = true;
  request.title = mp3 ? "剪辑后另存 MP3" : "剪辑后另存 WAV";
  request.folder = proposal.parent_path();
  request.fileName = PathToUtf8(proposal.filename());
  request.filters = {mp3 ? FileFilter{"MP3 音频", {"mp3"}} : FileFilter{"WAV 波形文件", {"wav"}},
                     FileFilter{"所有文件", {"*"}}};
  std::filesystem::path path;
  if (!view.PickFile(request, path)) return;
  path = WithDefaultExtension(path, mp3 ? ".mp3" : ".wav");

  view.Status("正在导出…");
  view.ProgressBegin(mp3 ? "正在导出 MP3" : "正在导出 WAV", true);
  view.ProgressStep(0, "正在准备…");

  AudioFormat requested = doc.Format();
  int bits = 16;
  if (mp3) {
    requested.bits = 16;
    if (settings.exportMp3Rate > 0) requested.sampleRate = uint32_t(settings.exportMp3Rate);
  } else {
    bits = WavExportBits(settings.exportBitDepth, doc.SourceBits());
    requested.bits = uint16_t(bits);
    if (settings.exportWavRate > 0) requested.sampleRate = uint32_t(settings.exportWavRate);
  }

  ExportDenoise denoise;
  denoise = ctx_.app->ExportDenoiseStep(ExportKind::Audio, path);
  if (denoise.cancel) {
    view.ProgressEnd();
    return;
  }
  if (denoise.run && !denoise.stage.empty()) view.Status(denoise.stage);

  std::string error;
  std::vector<std::filesystem::path> files;
  const bool ok = doc.Save(path, mp3, uint32_t(settings.bitrateKbps), error, &requested, denoise.run,
                           [&](int32_t percent, const std::string& text) { return view.ProgressStep(percent, text); },
                           &files);
  view.ProgressEnd();

  if (!ok) {
    // Save writes beside the target and renames at the end, so there is
    // nothing to delete here: an existing file keeps its old contents.
    if (error.empty()) {
      view.Status("导出已取消，没有写出文件。");
      return;
    }
    if (denoise.run && denoise.lastError) {
      const std::string engineError = denoise.lastError();
      if (!engineError.empty()) error = engineError;
    }
    ReportFailure("导出失败", path, error);
    return;
  }

  settings.lastSaveDir = WithSeparator(path.parent_path());
  ctx_.app->SaveSettings();
  uint64_t size = 0;
  for (const std::filesystem::path& file : files) {
    std::error_code ec;
    const uint64_t bytes = std::filesystem::file_size(file, ec);
    if (!ec) size += bytes;
  }
  const uint32_t documentRate = doc.Format().sampleRate;
  const uint32_t targetRate = SaveTargetRate(documentRate, requested.sampleRate, mp3);
  std::string notes;
  if (targetRate != documentRate) notes += Format("，已由 %u Hz 转换", unsigned(documentRate));
  if (!mp3) {
    const int written = bits == 24 || bits == 32 ? bits : 16;
    const int sourceDepth = doc.SourceBits() ? int(doc.SourceBits()) : 24;
    // A followed source depth the writer cannot keep (8 bit) was not chosen in the menu.
    if (written != sourceDepth)
      notes += Format("，位深 %dbit%s", written, settings.exportBitDepth != 0 ? "（菜单选定）" : "");
  }
  notes += denoise.run && denoise.resultNoteAfterRun ? denoise.resultNoteAfterRun() : denoise.resultNote;
  if (files.size() > 1)
    notes += Format("，文件超过 4 GB，已分段保存为 %u 个文件（%s、%s…）", unsigned(files.size()),
                    PathToUtf8(files[0].filename()).c_str(), PathToUtf8(files[1].filename()).c_str());
  view.Status("已导出：" + PathToUtf8(path) + "（" + FormatFileSize(size) + " · " +
                                     std::to_string(targetRate) + " Hz" + notes + "）");
}

void SaveFlow::SaveVideo() {
  WindowPort& view = *ctx_.port;
  AudioDoc& doc = *ctx_.doc;
  SettingsState& settings = *ctx_.settings;
  if (doc.Frames() == 0) {
    view.Status(kEmptyArea);
    return;
  }
  if (!opened_.hasPicture || !opened_.pictureFits) {
    view.Status(opened_.hasPicture
                     ? "这个文件的画面编码没有可用于输出的容器（MP4 / MKV 都不收），装不回去 —— 声音可以用「剪辑后另存WAV / MP3」导出。"
                     : "当前素材不是从视频导入的，没有画面可以装回去 —— 只能用「剪辑后另存WAV / MP3」导出声音。");
    return;
  }
  const std::filesystem::path video = opened_.path;
  std::error_code ec;
  if (video.empty() || !std::filesystem::is_regular_file(video, ec)) {
    view.Status("找不到源视频文件（可能被移走或改名了）：" + PathToUtf8(video));
    return;
  }
  const FfmpegLocation ffmpeg = LocateFfmpeg(PathFromUtf8(settings.ffmpegPath));
  if (!ffmpeg.found) {
    view.Status("没找到 ffmpeg，视频导出已取消（拆分菜单里有「选择 ffmpeg 路径…」）。");
    view.ShowBox(BoxKind::Warning, "没找到 ffmpeg",
                 "导出视频需要 ffmpeg（画面原样拷贝、不重压，靠它完成）。\n\n任选一种方式装好后再试：\n"
                 "  1）把 ffmpeg.exe 放到本程序所在目录（最省事）；\n  2）装好 ffmpeg 并确保它在系统 PATH 里；\n"
                 "  3）在「剪辑后另存视频」的拆分菜单里点「选择 ffmpeg 路径…」指一下。\n\n"
                 "为什么不用 Windows 自带的媒体框架：它处理带 B 帧的视频会写坏画面（文件能播但画面是花的），"
                 "这是实测确认过的，不是设置问题。");
    return;
  }
  if (doc.HasCuts() &&
      view.ShowBox(BoxKind::Question, "删掉的段落会变成静音",
                   "这次剪辑里删掉或裁掉过片段。\n\n导出视频时：画面始终保留全长（原样拷贝、不重新编码），"
                   "你删掉的那段声音会变成静音。\n\n如果你要的是剪好的紧凑音频（中间没有空白段），"
                   "用「剪辑后另存WAV / MP3」导出更合适 —— 那份是无缝的。\n\n继续导出视频吗？",
                   BoxButtons::YesNo, BoxAnswer::Yes) != BoxAnswer::Yes) {
    view.Status("视频导出已取消。");
    return;
  }

  const std::string stem = ProposedSaveStem(doc.DisplayName(), LocalTimeNow());
  const std::filesystem::path proposal =
      ProposedSavePathAs(ProposedSaveFolder(settings.lastSaveDir, video, settings.outputDir), stem, ".mp4");
  FileDialogRequest request;
  request.save = true;
  request.title = "剪辑后另存视频";
  request.folder = proposal.parent_path();
  request.fileName = PathToUtf8(proposal.filename());
  request.filters = {{"MP4 视频", {"mp4"}}, {"MKV 视频", {"mkv"}}, {"所有文件", {"*"}}};
  std::filesystem::path chosen;
  if (!view.PickFile(request, chosen)) return;
  chosen = WithDefaultExtension(chosen, ".mp4");
  const std::string sameFile = "输出文件不能和源视频是同一个文件 —— 那样会把源素材写坏。请换个文件名。";
  if (SameFileAsSource(video, chosen)) {
    view.Status("视频导出失败：" + sameFile);
    view.ShowBox(BoxKind::Warning, "视频导出失败", sameFile);
    return;
  }

  const bool flac = settings.videoCodecFlac;
  view.Status(std::string("正在导出视频…（画面拷贝 + 音频") + (flac ? "FLAC 无损编码" : "AAC 编码") + "）");
  view.ProgressBegin("正在导出视频", true);
  view.ProgressStep(0, "正在准备音频…");

  // The edit laid onto the source timeline: removed parts become silence at
  // their place, so the sound keeps the source's length: the decoded source
  // track's own length to the frame (never the shorter edited one, which
  // would drop the tail), padded to the probed length of the file when the
  // track ends before it, cut to it when the track runs well past it.
  const AudioFormat format = doc.Format();
  VideoProbeResult probe;
  std::string probeError;
  uint64_t sourceFrames = std::max(doc.SourceFrames(), doc.Frames());
  if (ProbeVideo(video, probe, probeError, ffmpeg.path) && probe.duration > 0 &&
      double(format.sampleRate) * probe.duration > 1.0)
    sourceFrames = NewTrackFrames(sourceFrames, format.sampleRate, probe.duration);
  std::vector<FrameRange> kept;
  const bool laid = !doc.Segments().empty() && sourceFrames > 0;
  if (laid) {
    for (const Segment& s : doc.Segments())
      if (s.sourceStart < sourceFrames)
        kept.push_back({int64_t(s.sourceStart), int64_t(std::min(s.sourceStart + s.length, sourceFrames))});
    std::sort(kept.begin(), kept.end(), [](const FrameRange& a, const FrameRange& b) { return a.start < b.start; });
  } else {
    kept.push_back({0, int64_t(doc.Frames())});
  }

  ExportDenoise denoise;
  denoise = ctx_.app->ExportDenoiseStep(ExportKind::Video, chosen);
  if (denoise.cancel) {
    view.ProgressEnd();
    return;
  }
  // The document's own pieces go out as they lie (no copy of the track);
  // the noise reduction writes a track of its own (in a temporary file when
  // it is long).
  const SampleSequence pieces = laid ? OnSourceTimeline(doc.Samples(), doc.Segments(), sourceFrames) : doc.Samples();
  SampleSequence denoised;
  if (denoise.run) {
    view.Status(denoise.stage);
    view.ProgressStep(4, denoise.stage);
    if (!denoise.run(pieces, format.sampleRate, denoised)) {
      const std::string message = denoise.lastError ? denoise.lastError() : std::string();
      view.ProgressEnd();
      view.Status("导出已取消：降噪失败（" + message + "）。");
      view.ShowBox(BoxKind::Warning, "降噪失败", message);
      return;
    }
  }
  const SampleSource& track = denoise.run ? static_cast<const SampleSource&>(denoised) : pieces;

  VideoEditedExportOptions options;
  options.codec = flac ? 1 : 0;
  options.aacBitrate = uint32_t(settings.videoAacKbps) * 1000;
  options.sampleRate = uint32_t(std::max(settings.videoSampleRate, 0));
  options.editedOrdinal = opened_.editedTrack;
  options.keep.assign(opened_.untouchedTracks.begin(), opened_.untouchedTracks.end());

  // The export writes beside the chosen file and renames at the end, so a
  // cancelled or failed export never costs a file that was there before.
  std::string error;
  std::filesystem::path output;
  double duration = 0;
  const ExportProgress progress = [&](int percent, const std::string& text) { return view.ProgressStep(percent, text); };
  const uint64_t startMs = TickMs();
  bool ok = ExportVideoEditedViaFfmpeg(ffmpeg.path, video, track, format, options, chosen, output, error, &duration,
                                       progress);
  const double seconds = double(TickMs() - startMs) / 1000.0;
  if (!ok) {
    view.ProgressEnd();
    if (error.empty()) {
      view.Status("视频导出已取消，没有写出文件。");
      return;
    }
    ReportFailure("视频导出失败", chosen, error);
    return;
  }
  settings.lastSaveDir = WithSeparator(output.parent_path());
  ctx_.app->SaveSettings();

  const uint64_t size = std::filesystem::file_size(output, ec);
  std::string line = Format("已导出视频：%s（%s · 画面原样拷贝 · 音轨 %s · %.1f 秒完成）", PathToUtf8(output).c_str(),
                            FormatFileSize(ec ? 0 : size).c_str(),
                            flac ? "FLAC 无损 24bit" : "AAC", seconds);
  line += denoise.run && denoise.resultNoteAfterRun ? denoise.resultNoteAfterRun() : denoise.resultNote;
  if (!options.keep.empty())
    line += " — 另有 " + std::to_string(options.keep.size()) + " 条原音轨原样保留（播放器里可切轨）";
  if (output != chosen) {
    line += " — 这个视频编码 MP4 装不下，已自动改用 MKV 容器（画面仍是原样拷贝）";
    std::filesystem::path plain = chosen;
    plain.replace_extension(".mkv");
    // The existing file keeps its name and contents.
    if (output != plain)
      line += "；" + PathToUtf8(plain.filename()) + " 已存在，没有覆盖，新文件名为 " + PathToUtf8(output.filename());
    line += "。";
  }
  if (flac) {
    const uint32_t rate = options.sampleRate ? options.sampleRate : format.sampleRate;
    line += rate < 48000 ? " — 注意：音轨 " + std::to_string(rate) + "Hz 达不到 B 站 Hi-Res 的 48kHz 门槛（菜单里改成 48000Hz 即可）。"
                         : std::string(" — 无损音轨满足 B 站 Hi-Res 门槛（≥48kHz / ≥24bit）。");
  }

  // Read the file back before calling it done.
  view.ProgressStep(0, "正在核对导出结果…");
  ExportCheckInput check;
  check.ffmpeg = ffmpeg.path;
  check.source = video;
  check.output = output;
  SaveStaging checkFolder;
  std::string folderError;
  check.workFolder = checkFolder.Create(output, folderError) ? checkFolder.Folder() : std::filesystem::path();
  check.audioIndex = EditedOutputIndex(options);
  std::vector<int32_t> tracks = options.keep;
  tracks.push_back(options.editedOrdinal);
  std::sort(tracks.begin(), tracks.end());
  check.audioTracks = int(std::unique(tracks.begin(), tracks.end()) - tracks.begin());
  check.samples = &track;
  check.format = format;
  check.windows = ChooseCheckWindows(kept, track, format.channels, format.sampleRate);
  ExportCheckResult checked;
  std::string checkError;
  const bool ran = CheckVideoExport(check, checked, checkError, progress);
  view.ProgressEnd();
  if (!ran && checkError.empty()) {
    line += " — 核对已取消（文件已写好，没有核对）";
  } else if (!ran) {
    line += " — 没能核对导出结果（" + checkError + "）";
  } else if (checked.differences.empty()) {
    line += Format(" — 已核对：画面 %lld 帧、%.2f 秒与源视频一致，音轨长度吻合",
                   static_cast<long long>(checked.outputPicture.frames), checked.outputPicture.seconds);
    if (checked.windowsChecked > 0) line += Format("，抽查 %d 处声音与剪辑一致", checked.windowsChecked);
  } else {
    line += " — 核对发现不一致（文件已保留）：" + JoinLines(checked.differences, "；");
    AppLog("[ff] 核对不一致 %s：%s", PathToUtf8(output).c_str(), JoinLines(checked.differences, "；").c_str());
  }
  view.Status(line);
  if (ran && !checked.differences.empty())
    view.ShowBox(BoxKind::Warning, "导出结果核对不一致",
                 "视频已经写好，但读回来核对时发现和剪辑结果不一致：\n\n· " + JoinLines(checked.differences, "\n· ") +
                     "\n\n文件已保留：" + PathToUtf8(output));
}

}  // namespace vesk::ui
