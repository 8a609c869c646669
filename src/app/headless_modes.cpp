#include "app/headless_modes.h"

#include <cmath>

#include "app/edit_decisions.h"
#include "app/edit_file.h"
#include "app/report_file.h"
#include "app/self_test.h"
#include "denoise/denoise_engine.h"
#include "media/audio_loader.h"
#include "media/audio_tracks.h"
#include "media/wav_sink.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/text.h"
#include "video/delete_ranges.h"
#include "video/ffmpeg_export.h"
#include "video/ffmpeg_runner.h"
#include "video/media_probe.h"
#include "video/pass_through.h"

namespace vesk {

namespace {

std::string DashedNameText(const std::string& name) {
  return "输出文件名“" + name + "”以“-”开头，会被当成选项，没有写出文件。请写成 ./" + name + " 或换个名字。";
}

}  // namespace

SampleStats MeasureSamples(const std::vector<float>& samples, unsigned channels, unsigned rate) {
  SampleStats s;
  // Eight running maxima the compiler keeps in vector registers (a single
  // one is a serial chain it cannot vectorise); NaN is skipped either way.
  constexpr size_t kLanes = 8;
  float lanes[kLanes] = {};
  const float* v = samples.data();
  const size_t n = samples.size();
  size_t i = 0;
  for (; i + kLanes <= n; i += kLanes)
    for (size_t j = 0; j < kLanes; ++j) lanes[j] = std::max(lanes[j], std::fabs(v[i + j]));
  float peak = 0;
  for (; i < n; ++i) peak = std::max(peak, std::fabs(v[i]));
  for (const float lane : lanes) peak = std::max(peak, lane);
  s.peak = peak;
  s.frames = channels ? samples.size() / channels : 0;
  s.duration = rate ? double(s.frames) / double(rate) : 0.0;
  return s;
}

int RunProbeAudioMode(const CommandLine& cmd, const std::filesystem::path& dataFolder) {
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  int sourceBits = 0;
  const bool ok = LoadAudioFile(PathFromUtf8(cmd.probeAudioPath), format, samples, error, &sourceBits);
  if (!ok) {
    format = AudioFormat{0, 0, 0};
    samples.clear();
    sourceBits = 0;
  }
  const SampleStats stats = MeasureSamples(samples, format.channels, format.sampleRate);
  ReportFile r(dataFolder / kProbeAudioReport);
  r.Bool("ok", ok);
  r.Uint("rate", format.sampleRate);
  r.Uint("channels", format.channels);
  r.Uint("frames", stats.frames);
  r.Int("srcBits", sourceBits);
  r.Real("peak", "%.6f", stats.peak);
  r.Real("duration", "%.3f", stats.duration);
  r.ErrIfAny(error);
  return ok ? 0 : 1;
}

int RunSelfTestMode(const CommandLine& cmd, const std::filesystem::path& dataFolder) {
  return RunSelfTest(cmd.selfTestSeconds, dataFolder / kSelfTestReport, cmd.deviceIndex);
}

int RunExportVideoMode(const CommandLine& cmd, const std::filesystem::path& dataFolder) {
  const VideoEditedExportOptions& options = cmd.exportOptions;
  const bool mf = EqualsNoCase(cmd.engine, "mf");
  AudioFormat format;  // 48000 Hz, 2 channels, 16 bits until the decoder says otherwise
  std::vector<float> samples;
  std::string error;
  std::string out;
  std::string ffmpegFound;
  double duration = 0;
  bool ok = cmd.dashedOutputName.empty();
  if (!ok) error = DashedNameText(cmd.dashedOutputName);
  ok = ok && LoadAudioFile(PathFromUtf8(cmd.exportAudioPath), format, samples, error);
  if (ok) {
    const std::filesystem::path video = PathFromUtf8(cmd.exportVideoPath);
    std::filesystem::path output =
        cmd.exportOutputPath.empty() ? DefaultVideoExportPath(video) : PathFromUtf8(cmd.exportOutputPath);
    out = PathToUtf8(output);
    if (cmd.deleteGiven) {
      // Deleted ranges become silence at their source time; the length stays.
      ApplyDeleteRanges(samples, format, ParseDeleteRanges(cmd.deleteRanges), error);
    }
    if (mf) {
      ok = ExportVideoPassThrough(video, samples, format, options, output, error, &duration);
    } else {
      const FfmpegLocation ffmpeg = LocateFfmpeg(PathFromUtf8(cmd.ffmpegPath));
      if (!ffmpeg.found) {
        ok = false;
        error = "没找到 ffmpeg（可用 --ffmpeg <路径> 指定）。";
      } else {
        ffmpegFound = PathToUtf8(ffmpeg.path);
        std::filesystem::path actual;
        ok = ExportVideoEditedViaFfmpeg(ffmpeg.path, video, samples, format, options, output, actual, error,
                                        &duration, {});
        if (ok) out = PathToUtf8(actual);
      }
    }
  }
  ReportFile r(dataFolder / kExportVideoReport, 1024);
  r.Bool("ok", ok);
  r.Raw(Format("dur=%.2f\ncodec=%s\nrate=%u\n", duration, options.codec == 1 ? "flac" : "aac", options.sampleRate));
  r.Line("engine", mf ? "mf" : "ffmpeg");
  r.Int("editedord", options.editedOrdinal);
  std::string keep;
  for (size_t i = 0; i < options.keep.size(); ++i) keep += (i ? "," : "") + std::to_string(options.keep[i]);
  r.Line("keep", keep);
  if (cmd.deleteGiven) r.Line("deleted", cmd.deleteRanges);
  if (!ffmpegFound.empty()) r.Line("ffmpeg", ffmpegFound);
  r.Line("out", out);
  r.ErrIfAny(error);
  return ok ? 0 : 1;
}

int RunDenoiseMode(const CommandLine& cmd, const std::filesystem::path& dataFolder) {
  AudioFormat format;
  std::vector<float> samples;
  std::string error, engineText, out;
  double ms = 0;
  bool ok = cmd.dashedOutputName.empty();
  if (!ok) error = DashedNameText(cmd.dashedOutputName);
  ok = ok && LoadAudioFile(PathFromUtf8(cmd.denoiseInput), format, samples, error);
  if (ok) {
    DenoiseEngine engine;
    DiscoverDenoisePlugin(engine);
    engineText = engine.displayName;
    const uint64_t start = TickMs();
    ok = RunDenoise(engine, samples, format.sampleRate, format.channels, error, 1);
    ms = double(TickMs() - start);
  }
  if (ok) {
    if (!cmd.denoiseOutput.empty()) {
      out = cmd.denoiseOutput;
    } else {
      // Only the file name's extension goes: a dot in a folder name
      // ("take.v2/clip") must not send the output into the parent folder.
      std::filesystem::path p = PathFromUtf8(cmd.denoiseInput);
      p.replace_extension();
      out = PathToUtf8(p) + "_denoise.wav";
    }
    ok = WriteWavFile(PathFromUtf8(out), format, samples, error, 24);
  }
  ReportFile r(dataFolder / kDenoiseReport);
  r.Bool("ok", ok);
  r.Real("ms", "%.0f", ms);
  r.Line("engine", engineText);
  r.Line("out", out);
  r.Uint("rate", format.sampleRate);
  r.Uint("frames", format.channels ? samples.size() / format.channels : 0);
  r.ErrIfAny(error);
  return ok ? 0 : 1;
}

int RunEditMode(const CommandLine& cmd, const std::filesystem::path& dataFolder) {
  AudioDoc doc;
  std::string error;
  bool ok = cmd.dashedOutputName.empty();
  if (!ok) error = DashedNameText(cmd.dashedOutputName);
  ok = ok && EditFile(PathFromUtf8(cmd.editInput), PathFromUtf8(cmd.editOutput), cmd.editSteps, doc, error);
  ReportFile r(dataFolder / kEditReport);
  r.Bool("ok", ok);
  r.Uint("frames", ok ? doc.Frames() : 0);
  r.Real("seconds", "%.3f", ok ? doc.DurationSeconds() : 0.0);
  r.ErrIfAny(error);
  return ok ? 0 : 1;
}

int RunProbeVideoMode(const CommandLine& cmd, const std::filesystem::path& dataFolder) {
  VideoProbeResult probe;
  std::string error;
  const bool ok = ProbeVideo(PathFromUtf8(cmd.probeVideoPath), probe, error, {});
  ReportFile r(dataFolder / kProbeVideoReport);
  r.Bool("ok", ok);
  r.Bool("hasVideo", probe.hasVideo);
  r.Bool("canExport", probe.canExport);
  r.Bool("canMuxVideo", probe.canMux);
  r.Bool("viaFfmpeg", probe.viaFfmpeg);
  r.Uint("videoStream", probe.videoStream);
  r.Real("duration", "%.3f", probe.duration);
  if (!probe.codec.empty()) r.Line("codec", probe.codec);
  r.ErrIfAny(error);
  return ok ? 0 : 1;
}

int RunProbePreviewMode(const CommandLine& cmd, const std::filesystem::path& dataFolder) {
  const std::filesystem::path path = PathFromUtf8(cmd.probePreviewPath);
  AudioFormat format{0, 0, 0};
  std::vector<float> samples;
  bool allSilent = false;
  std::string error;
  std::vector<AudioTrack> tracks;
  bool ok = ListAudioTracks(path, tracks, error);
  if (ok) {
    if (cmd.probePreviewTrack < 0 || size_t(cmd.probePreviewTrack) >= tracks.size()) {
      error = "这个文件里没有这条音轨。";
      ok = false;
    } else {
      ok = DecodeAudition(path, tracks[size_t(cmd.probePreviewTrack)], 10.0, 60.0, format, samples, allSilent,
                          error);
    }
  }
  if (!ok) {
    format = AudioFormat{0, 0, 0};
    samples.clear();
    allSilent = false;
  }
  const SampleStats stats = MeasureSamples(samples, format.channels, format.sampleRate);
  ReportFile r(dataFolder / kProbePreviewReport);
  r.Bool("ok", ok);
  r.Bool("allSilent", allSilent);
  r.Uint("rate", format.sampleRate);
  r.Uint("channels", format.channels);
  r.Uint("frames", stats.frames);
  r.Real("peak", "%.6f", stats.peak);
  r.Real("duration", "%.3f", stats.duration);
  r.ErrIfAny(error);
  return ok ? 0 : 1;
}

}  // namespace vesk
