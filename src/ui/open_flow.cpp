#include "ui/open_flow.h"

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
#include "media/audio_tracks.h"
#include "media/sample_spill.h"
#include "media/wav_reader.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "platform/system_info.h"
#include "platform/text.h"
#include "video/ffmpeg_runner.h"
#include "video/media_probe.h"

namespace vesk::ui {

namespace {

constexpr char kOpenFailedTitle[] = "打不开这个文件";
constexpr double kAuditionClipSeconds = 10;
constexpr double kAuditionScanSeconds = 60;
// Work shorter than this finishes without a progress window flashing up.
constexpr auto kProgressDelay = std::chrono::milliseconds(300);
constexpr auto kProgressPump = std::chrono::milliseconds(40);

// Runs `work` on a helper thread while the window stays alive: after a
// moment the progress window comes up (no cancel: the decoders cannot stop
// half way) and pumps the window's messages until the work is done. The
// helper thread gets COM for the system decoders.
void RunWithProgress(WindowPort& view, const std::string& title, const std::string& stage,
                     const std::function<void()>& work) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::thread worker([&] {
    const bool com = InitComForThread(true);
    work();
    if (com) UninitComForThread();
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    finished.notify_all();
  });
  auto isDone = [&] {
    std::unique_lock<std::mutex> lock(mutex);
    return finished.wait_for(lock, kProgressDelay, [&] { return done; });
  };
  const bool quick = isDone();
  if (!quick) {
    view.ProgressBegin(title, false);
    for (;;) {
      view.ProgressStep(0, stage);
      std::unique_lock<std::mutex> lock(mutex);
      if (finished.wait_for(lock, kProgressPump, [&] { return done; })) break;
    }
  }
  worker.join();
  if (!quick) view.ProgressEnd();
}

// Runs `decode(samples, spill)` for the document: the result is the spill
// file when it took the frames, else the buffer; without room for the spill
// file the decode runs again into memory, as it always did.
template <typename Decode>
bool DecodeForDoc(uint64_t spillBytes, LoadedAudio& loaded, std::string& error, Decode&& decode) {
  std::vector<float> samples;
  SampleSpill spill(spillBytes);
  std::shared_ptr<const WavFileFrames> spilled;
  bool ok = decode(samples, &spill);
  if (ok && spill.Spilled()) ok = (spilled = spill.Finish(samples, loaded.format, error)) != nullptr;
  if (!ok && spill.Failed()) ok = decode(samples, nullptr);
  if (!ok) return false;
  if (spilled)
    loaded.samples = SampleSequence::OfFile(std::move(spilled));
  else
    loaded.samples = SampleSequence(std::move(samples), std::max<size_t>(loaded.format.channels, 1));
  return true;
}

// Work on the helper thread that runs out of memory (or meets any other
// exception) says so instead of ending the program.
template <typename Fn>
bool Guarded(Fn&& decode, std::string& error) {
  try {
    return decode();
  } catch (const std::bad_alloc&) {
    error = "内存不足，这个文件太大，打不开。";
    return false;
  } catch (const std::length_error&) {
    error = "内存不足，这个文件太大，打不开。";
    return false;
  } catch (const std::exception& e) {
    error = std::string("读取文件时出错：") + e.what();
    return false;
  }
}

std::string RenderEndpoint(DeviceCatalogue* devices) {
  if (!devices) return {};
  const DeviceEntry* entry = ResolveSelection(devices->Entries(), DeviceFlow::Render,
                                              devices->List(DeviceFlow::Render).SelectedValue());
  return entry ? entry->id : std::string();
}

// Folders compared as the settings keep them (with or without a final separator).
bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::string x = PathToUtf8(a.lexically_normal()), y = PathToUtf8(b.lexically_normal());
  while (x.size() > 1 && (x.back() == '/' || x.back() == '\\')) x.pop_back();
  while (y.size() > 1 && (y.back() == '/' || y.back() == '\\')) y.pop_back();
  return x == y;
}


bool HasExtension(const std::filesystem::path& path, const char* extension) {
  return EqualsNoCase(PathToUtf8(path.extension()), extension);
}

// A name typed without extension gets the one of the chosen kind (ffmpeg
// picks the container by it).

std::string TrackNumbers(const std::vector<int>& ordinals) {
  std::string text;
  for (size_t i = 0; i < ordinals.size(); ++i) text += (i ? "、" : "") + std::to_string(ordinals[i] + 1);
  return text;
}

// What the status line says after a video was opened (replaces "已载入：…").
std::string PictureHint(const std::string& loaded, const std::string& codec, bool fits, bool dialog,
                        const std::vector<int>& untouched) {
  if (!fits)
    return loaded + "。这个视频的画面编码（" + (codec.empty() ? std::string("未知") : codec) +
           "）MP4 和 MKV 都装不下，剪完只能用「剪辑后另存WAV / MP3」导出声音。";
  std::string text = loaded + "。这是视频的声音：剪完可以用「剪辑后另存视频」装回原画面（画面原样拷贝，不重新编码）";
  if (!untouched.empty())
    text += "；没导入的音轨 " + TrackNumbers(untouched) + " 导出视频时原样保留";
  else if (dialog)
    text += "；所有音轨已混成这一条，导出视频时替换全部原音轨";
  return text + "。";
}

// Output audio stream that carries the edit: its place among the kept
// ordinals and the edited one, ascending (the export's mapping order).


}  // namespace



bool OpenFlow::Ask(std::filesystem::path& chosen) {
  if (ctx_.app->Recording()) {
    ctx_.port->Status("正在录音，先按「■ 停止录音」再打开文件。");
    return false;
  }
  FileDialogRequest request;
  request.title = "打开音频或视频";
  request.folder = ctx_.settings->openDir;
  request.filters = {{"音频/视频文件",
                      {"wav", "mp3", "m4a", "aac", "wma", "flac", "ogg", "opus", "mp4", "mov", "mkv", "webm"}},
                     {"所有文件", {"*"}}};
  return ctx_.port->PickFile(request, chosen);
}

void OpenFlow::SetOpened(OpenedMedia media) {
  opened_ = std::move(media);
  ctx_.app->DocumentChanged(DocumentChange::Opened);
}

bool OpenFlow::Open(const std::filesystem::path& path, bool& viaDialog) {
  WindowPort& view = *ctx_.port;
  AudioDoc& doc = *ctx_.doc;
  if (ctx_.app->Recording()) {
    view.Status("正在录音，先按「■ 停止录音」再打开文件。");
    return false;
  }
  view.Status("正在载入…（大文件需要几秒）");
  const std::string fileName = FileNamePart(PathToUtf8(path));

  std::vector<AudioTrack> tracks;
  std::string error;
  const bool dialog = ListAudioTracks(path, tracks, error) && tracks.size() >= 2;
  viaDialog = dialog;
  error.clear();

  OpenedMedia media;
  media.path = path;
  // Fills `loaded` on the helper thread.
  std::function<bool(LoadedAudio&, std::string&)> decode;
  const uint64_t spillBytes = SpillLimitBytes(ctx_.settings->spillThresholdMiB);
  // A track decoded into memory, or past the spill limit into its file.
  const auto decodeTrack = [path, spillBytes](const AudioTrack& track, LoadedAudio& loaded, std::string& e) {
    loaded.sourceBits = 0;
    return DecodeForDoc(spillBytes, loaded, e, [&](std::vector<float>& s, SampleSpill* spill) {
      return DecodeAudioTrack(path, track, loaded.format, s, e, spill);
    });
  };
  std::string stage = "正在载入…（大文件需要几秒）";
  if (dialog) {
    // The audition buffer lives as long as the dialog; playback reads it.
    std::vector<float> audition;
    AudioFormat auditionFormat;
    bool auditioning = false;
    auto stopAudition = [&] {
      if (auditioning && ctx_.playback) ctx_.playback->Stop();
      auditioning = false;
    };
    TrackDialogModel model;
    model.title = "选择音轨 - " + fileName;
    model.intro = Format("这个文件里有 %u 条音轨。选一条导入（拿不准就先试听）；", unsigned(tracks.size()));
    model.note = "只剪这一条：其余音轨导出视频时原样保留；「全部混入一条」= 替换掉所有原轨。";
    for (const AudioTrack& t : tracks) model.trackLabels.push_back(TrackLabel(t));
    model.audition = [&](int index) {
      stopAudition();
      const AudioTrack& track = tracks[index >= 0 && size_t(index) < tracks.size() ? size_t(index) : 0];
      TrackDialogModel::Feedback feedback;
      bool allSilent = false;
      std::string auditionError;
      audition.clear();
      if (!DecodeAudition(path, track, kAuditionClipSeconds, kAuditionScanSeconds, auditionFormat, audition,
                          allSilent, auditionError)) {
        feedback.status = "试听解码失败：" + auditionError;
      } else if (allSilent) {
        feedback.status = "前 60 秒都是静音，换一条听听或直接选「导入」。";
      } else if (!ctx_.playback) {
        feedback.status = "试听播放失败：没有播放设备。";
      } else if (!ctx_.playback->Start(audition.data(), audition.size() / auditionFormat.channels, auditionFormat,
                                       0, RenderEndpoint(ctx_.devices), auditionError)) {
        feedback.status = "试听播放失败：" + auditionError;
      } else {
        auditioning = true;
        feedback.stopEnabled = true;
        feedback.status = "正在试听：" + TrackLabel(track) + "（10 秒）";
      }
      return feedback;
    };
    model.stopAudition = [&] {
      stopAudition();
      return TrackDialogModel::Feedback{"已停止试听。", false};
    };
    const TrackDialogResult result = view.ShowTrackDialog(model);
    stopAudition();
    std::vector<float>().swap(audition);

    if (result.action == 1) {
      const size_t chosen = result.track >= 0 && size_t(result.track) < tracks.size() ? size_t(result.track) : 0;
      const AudioTrack track = tracks[chosen];
      media.editedTrack = track.ordinal;
      for (const AudioTrack& t : tracks)
        if (t.ordinal != track.ordinal) media.untouchedTracks.push_back(t.ordinal);
      stage = "正在解码所选音轨…（视频较长时需要一点时间）";
      decode = [decodeTrack, track](LoadedAudio& loaded, std::string& e) { return decodeTrack(track, loaded, e); };
    } else if (result.action == 2) {
      stage = "正在混音…（每条音轨各解一遍，视频较长时需要一点时间）";
      decode = [path, tracks, spillBytes](LoadedAudio& loaded, std::string& e) {
        loaded.sourceBits = 0;
        return DecodeForDoc(spillBytes, loaded, e, [&](std::vector<float>& s, SampleSpill* spill) {
          return DecodeAllTracksMixed(path, tracks, loaded.format, s, e, spill, spillBytes);
        });
      };
    } else {
      view.Status("已取消载入。");
      return false;
    }
    view.Status(stage);
  } else {
    // A failed single-track open leaves an empty edit area, as Load does.
    doc.Clear();
    SetOpened({});
    view.Repaint(PaintArea::Wave);
    decode = [path, spillBytes](LoadedAudio& loaded, std::string& e) {
      return ReadAudioFile(path, loaded, e, spillBytes);
    };
  }

  // Decoding and the picture probe run under the progress window; the
  // document is filled afterwards on this thread, so painting during the
  // wait never sees it half changed.
  LoadedAudio audio;
  bool decoded = false;
  VideoProbeResult probe;
  bool probed = false;
  const std::filesystem::path ffmpeg = LocateFfmpeg(PathFromUtf8(ctx_.settings->ffmpegPath)).path;
  RunWithProgress(view, "正在载入", stage, [&] {
    decoded = Guarded([&] { return decode(audio, error); }, error);
    if (decoded && !HasExtension(path, ".wav")) {
      std::string probeError;
      // Without a probe answer the file counts as sound only.
      probed = Guarded([&] { return ProbeVideo(path, probe, probeError, ffmpeg); }, probeError);
    }
  });

  if (decoded && (audio.samples.Frames() == 0 || audio.format.channels == 0)) {
    decoded = false;
    error = dialog ? "没有可用的音频数据。" : "文件里没有可用的音频数据。";
  }
  if (decoded && !doc.Adopt(std::move(audio), path, error)) decoded = false;
  if (!decoded) {
    AppLog("[open] 打不开 %s：%s", PathToUtf8(path).c_str(), error.c_str());
    view.Status(error);
    view.Repaint(PaintArea::Wave);
    view.ShowBox(BoxKind::Warning, kOpenFailedTitle, error);
    return false;
  }

  media.hasPicture = probed && probe.hasVideo;
  media.pictureFits = media.hasPicture && probe.canMux;
  media.pictureCodec = probe.codec;
  SetOpened(std::move(media));

  const std::filesystem::path folder = path.parent_path();
  if (!folder.empty() && !SameFolder(folder, ctx_.settings->openDir)) {
    ctx_.settings->openDir = folder;
    ctx_.app->SaveSettings();
  }
  const std::string loaded = "已载入：" + doc.DisplayName() + "（" + FormatClipDuration(doc.DurationSeconds()) + "）";
  view.Status(loaded);
  if (opened_.hasPicture)
    view.Status(PictureHint(loaded, opened_.pictureCodec, opened_.pictureFits, dialog, opened_.untouchedTracks));
  AppLog("[open] %s：%u Hz %u 声道，%.1f 秒，画面=%d 导入轨=%d", PathToUtf8(path).c_str(),
         unsigned(doc.Format().sampleRate), unsigned(doc.Format().channels), doc.DurationSeconds(),
         int(opened_.hasPicture), opened_.editedTrack);
  return true;
}


}  // namespace vesk::ui
