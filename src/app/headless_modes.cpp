#include "app/headless_modes.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "app/edit_decisions.h"
#include "app/edit_file.h"
#include "app/report_file.h"
#include "app/self_test.h"
#include "denoise/denoise_engine.h"
#include "doc/audio_doc.h"
#include "doc/stretch_render.h"
#include "doc/wav_save.h"
#include "media/audio_loader.h"
#include "media/audio_tracks.h"
#include "media/level_tools.h"
#include "media/loudness.h"
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

// A plain decimal number ("-16", "-1.5") within [low, high]; the default
// when the text is empty.
bool ReadLevel(const std::string& text, double fallback, double low, double high, double& value) {
  if (text.empty()) {
    value = fallback;
    return true;
  }
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  return ec == std::errc() && stop == end && value >= low && value <= high;
}

// Whether the file is one the WAV reader reads (LoadAudioFile never hands
// a RIFF/WAVE file to another decoder).
bool StartsAsRiffWave(const std::filesystem::path& path) {
  File f;
  char head[12];
  return f.OpenRead(path) && f.Read(head, sizeof head) == int64_t(sizeof head) &&
         std::string_view(head, 4) == "RIFF" && std::string_view(head + 8, 4) == "WAVE";
}

// What --loudness is asked, checked before the input is read.
bool CheckLoudnessArguments(const CommandLine& cmd, double& target, double& ceiling, std::string& error) {
  if (!cmd.dashedOutputName.empty()) {
    double number = 0;
    if (ReadLevel(cmd.dashedOutputName, 0, -1e9, 1e9, number))
      error = "目标响度要写在输出文件名之后：--loudness <输入> <输出> [目标 LUFS] [峰值上限 dBTP]。没有写出文件。";
    else
      error = DashedNameText(cmd.dashedOutputName);
    return false;
  }
  if (!ReadLevel(cmd.loudnessTarget, kLoudnessPresets[0].lufs, -70, -5, target)) {
    error = "目标响度“" + cmd.loudnessTarget + "”不是 −70 到 −5 之间的数（单位 LUFS，例如 -16），没有写出文件。";
    return false;
  }
  if (!ReadLevel(cmd.loudnessCeiling, kLoudnessPresets[0].ceilingDbtp, -20, 0, ceiling)) {
    error = "峰值上限“" + cmd.loudnessCeiling + "”不是 −20 到 0 之间的数（单位 dBTP，例如 -1），没有写出文件。";
    return false;
  }
  return true;
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
  LoadedAudio in;
  SampleSequence denoised;
  std::string error, engineText, out;
  double ms = 0;
  bool ok = cmd.dashedOutputName.empty();
  if (!ok) error = DashedNameText(cmd.dashedOutputName);
  // A long file is read from itself (or its spill file) and rendered a
  // stretch at a time, so memory stays bounded whatever its length.
  const uint64_t spill = SpillLimitBytes();
  ok = ok && ReadAudioFile(PathFromUtf8(cmd.denoiseInput), in, error, spill);
  const AudioFormat& format = in.format;
  if (ok) {
    DenoiseEngine engine;
    DiscoverDenoisePlugin(engine);
    engineText = engine.displayName;
    const uint64_t start = TickMs();
    // The built-in engine's noise profile comes from the whole file, as in
    // the window, not from the first stretch.
    ok = !engine.builtin ||
         MeasureNoiseProfile(in.samples, format.sampleRate, format.channels, 0, 0, engine.noiseProfile, error);
    ok = ok && RenderInStretches(
                   in.samples, format.sampleRate, spill,
                   [&](std::vector<float>& s, std::string& why) {
                     return RunDenoise(engine, s, format.sampleRate, format.channels, why, 1);
                   },
                   denoised, error);
    ms = double(TickMs() - start);
  }
  // The source lets go of its file before the output is written: it may be
  // the same file.
  const uint64_t loadedFrames = in.samples.Frames();
  in.samples = SampleSequence(1);
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
    ok = WriteWavFile(PathFromUtf8(out), format, denoised, error, 24);
  }
  ReportFile r(dataFolder / kDenoiseReport);
  r.Bool("ok", ok);
  r.Real("ms", "%.0f", ms);
  r.Line("engine", engineText);
  r.Line("out", out);
  r.Uint("rate", format.sampleRate);
  r.Uint("frames", ok ? denoised.Frames() : loadedFrames);
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

int RunLoudnessMode(const CommandLine& cmd, const std::filesystem::path& dataFolder) {
  double target = 0, ceiling = 0;
  std::string error;
  AudioFormat format;
  std::vector<float> samples;
  int sourceBits = 0;
  bool ok = CheckLoudnessArguments(cmd, target, ceiling, error) &&
            LoadAudioFile(PathFromUtf8(cmd.loudnessInput), format, samples, error, &sourceBits);
  // A mono file is heard on two speakers and measured so by the platforms.
  const bool dualMono = format.channels == 1;
  NormalizeResult result;
  bool written = false;
  if (ok && cmd.loudnessOutput.empty()) {
    const size_t frames = format.channels ? samples.size() / format.channels : 0;
    ok = MeasureLoudness(samples.data(), frames, format.sampleRate, format.channels, dualMono, result.before, error);
    if (ok && !result.before.valid) {
      ok = false;
      error = "这段内容太短或太安静（至少要 0.4 秒有声音的内容），测不出响度。";
    }
  } else if (ok) {
    // A WAV keeps its depth (32 bits, integer or float, as float); any
    // other source becomes 24-bit WAV.
    const bool wav = StartsAsRiffWave(PathFromUtf8(cmd.loudnessInput));
    const int bits = wav ? sourceBits : 24;
    ok = NormalizeLoudness(samples, format.sampleRate, format.channels, dualMono, target, ceiling, result, error);
    // Written beside the output and moved over it only when complete, so a
    // failure leaves what was there before (the input itself included).
    std::vector<std::filesystem::path> files;
    const size_t channels = std::max<size_t>(format.channels, 1);
    written = ok && SaveWavStaged(PathFromUtf8(cmd.loudnessOutput), format,
                                  ContiguousSamples(samples.data(), samples.size() / channels, channels), bits, files,
                                  error);
    ok = written;
  }
  ReportFile r(dataFolder / kLoudnessReport);
  r.Bool("ok", ok);
  if (result.before.valid) {
    r.Real("lufs", "%.2f", result.before.integratedLufs);
    r.Real("lra", "%.2f", result.before.rangeLu);
    r.Real("truepeak", "%.2f", result.before.truePeakDbtp);
  }
  if (written) {
    r.Real("gain", "%.2f", result.gainDb);
    r.Bool("limited", result.limited);
    r.Real("out_lufs", "%.2f", result.after.integratedLufs);
    r.Real("out_truepeak", "%.2f", result.after.truePeakDbtp);
  }
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
