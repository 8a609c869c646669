#include "app/command_line.h"

#include <utility>

#include "platform/text.h"

namespace vesk {

static bool IsValue(const std::vector<std::string>& args, size_t i) {
  return i < args.size() && !(args[i].size() > 0 && args[i][0] == '-');
}

// An optional output name that starts with one "-" ("-x") is no option of
// ours (they all start with "--"): most likely a file name, which is refused
// rather than silently replaced by the default name.
static std::string DashedName(const std::vector<std::string>& args, size_t i) {
  if (i >= args.size() || args[i].size() < 2 || args[i][0] != '-' || args[i][1] == '-') return {};
  return args[i];
}

static bool IsOption(const std::string& a) {
  static constexpr const char* kNames[] = {
      "--selftest", "--dev",    "--dump-layout", "--export-video-edited", "--vcodec",         "--vbitrate",
      "--vrate",    "--engine", "--ffmpeg",      "--keep",                "--edited-ordinal", "--delete",
      "--denoise",  "--loudness",     "--probe-audio",  "--probe-video",  "--probe-preview"};
  for (const char* name : kNames)
    if (EqualsNoCase(a, name)) return true;
  return false;
}

CommandLine ScanArguments(const std::vector<std::string>& args) {
  CommandLine c;
  const size_t n = args.size();
  std::vector<bool> taken(n, false);  // read as an option's value
  auto take = [&](size_t index) {
    if (index < n) taken[index] = true;
  };
  for (size_t i = 1; i < n; ++i) {
    const std::string& a = args[i];
    const bool hasNext = i + 1 < n;
    auto next = [&](size_t k = 1) -> const std::string& { return args[i + k]; };
    auto is = [&](const char* name) { return EqualsNoCase(a, name); };

    if (is("--selftest")) {
      c.selfTest = true;
      if (hasNext) {
        take(i + 1);  // "-5" is a bad number, not an unknown option
        const long v = ParseLong32(next());
        if (v >= 1 && v <= 600) c.selfTestSeconds = int(v);
      }
    } else if (!hasNext) {
      continue;  // every other option needs a value
    } else if (a.empty() || a[0] != '-') {
      continue;  // a value or a plain path
    } else if (is("--dev")) {
      c.deviceIndex = int(ParseLong32(next()));
    } else if (is("--dump-layout")) {
      c.dumpLayoutPath = next();
    } else if (is("--export-video-edited")) {
      // Without the audio value the export mode is not selected.
      c.exportVideoPath = next(1);
      c.exportAudioPath = i + 2 < n ? next(2) : std::string();
      c.exportOutputPath = IsValue(args, i + 3) ? next(3) : std::string();
      c.dashedOutputName = DashedName(args, i + 3);
      take(i + 2);
      // A dashed name here is the output the mode refuses, not an unknown option.
      if (IsValue(args, i + 3) || !c.dashedOutputName.empty()) take(i + 3);
    } else if (is("--vcodec")) {
      c.exportOptions.codec = EqualsNoCase(next(), "flac") ? 1 : 0;
    } else if (is("--vbitrate")) {
      c.exportOptions.aacBitrate = uint32_t(int64_t(ParseLong32(next())) * 1000);
    } else if (is("--vrate")) {
      c.exportOptions.sampleRate = uint32_t(ParseLong32(next()));
    } else if (is("--engine")) {
      c.engine = next();
    } else if (is("--ffmpeg")) {
      c.ffmpegPath = next();
    } else if (is("--keep")) {
      const std::string& list = next();
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        if (comma > start) c.exportOptions.keep.push_back(int32_t(ParseLong32(list.substr(start, comma - start))));
        start = comma + 1;
      }
    } else if (is("--edited-ordinal")) {
      c.exportOptions.editedOrdinal = int32_t(ParseLong32(next()));
    } else if (is("--delete")) {
      c.deleteRanges = next();
      c.deleteGiven = true;
    } else if (is("--denoise")) {
      c.denoiseInput = next();
      c.denoiseOutput = IsValue(args, i + 2) ? next(2) : std::string();
      c.dashedOutputName = DashedName(args, i + 2);
      if (IsValue(args, i + 2) || !c.dashedOutputName.empty()) take(i + 2);
    } else if (is("--loudness")) {
      c.loudnessInput = next();
      c.loudnessOutput = IsValue(args, i + 2) ? next(2) : std::string();
      c.dashedOutputName = DashedName(args, i + 2);
      if (IsValue(args, i + 2) || !c.dashedOutputName.empty()) {
        take(i + 2);
        // Target and ceiling follow the output and are mostly negative
        // ("-16"): anything but a "--" option is taken, a bad number is the
        // mode's to refuse.
        for (size_t k = 3; k <= 4 && i + k < n && args[i + k].rfind("--", 0) != 0; ++k) {
          (k == 3 ? c.loudnessTarget : c.loudnessCeiling) = next(k);
          take(i + k);
        }
      }
    } else if (is("--probe-audio")) {
      c.probeAudioPath = next();
    } else if (is("--probe-video")) {
      c.probeVideoPath = next();
    } else if (is("--probe-preview")) {
      c.probePreviewPath = next();
      c.probePreviewTrack = IsValue(args, i + 2) ? int(ParseLong32(next(2))) : 0;
      if (IsValue(args, i + 2)) take(i + 2);
    } else {
      continue;  // unknown option: its value, if any, cannot be told from a path
    }
    take(i + 1);
  }
  // The edit mode and its steps in the order given. A step's value is read
  // even when it starts with "-": a negative time the mode refuses, not an
  // unknown option.
  static constexpr std::pair<const char*, EditOp> kEditOps[] = {
      {"--delete", EditOp::Delete}, {"--silence", EditOp::Silence}, {"--trim", EditOp::Trim}};
  for (size_t i = 1; i < n; ++i) {
    if (EqualsNoCase(args[i], "--edit")) {
      c.editGiven = true;
      take(i);
      c.editInput = IsValue(args, i + 1) ? args[i + 1] : std::string();
      c.editOutput = !c.editInput.empty() && IsValue(args, i + 2) ? args[i + 2] : std::string();
      const std::string dashed = c.editInput.empty() ? std::string() : DashedName(args, i + 2);
      if (!dashed.empty()) c.dashedOutputName = dashed;
      if (!c.editInput.empty()) take(i + 1);
      if (!c.editOutput.empty() || !dashed.empty()) take(i + 2);
    }
    for (const auto& [name, op] : kEditOps) {
      if (!EqualsNoCase(args[i], name)) continue;
      c.editSteps.push_back({op, i + 1 < n ? args[i + 1] : std::string()});
      take(i);
      take(i + 1);
    }
  }
  for (size_t i = 1; i < n; ++i) {
    if (!taken[i] && !args[i].empty() && args[i][0] != '-' && c.openPath.empty()) c.openPath = args[i];
    if (!taken[i] && !args[i].empty() && args[i][0] == '-' && !IsOption(args[i]) && c.unknownOption.empty())
      c.unknownOption = args[i];
  }
  return c;
}

Mode SelectMode(const CommandLine& c) {
  if (c.selfTest) return Mode::SelfTest;
  if (!c.exportVideoPath.empty() && !c.exportAudioPath.empty()) return Mode::ExportVideo;
  if (!c.denoiseInput.empty()) return Mode::Denoise;
  if (c.editGiven) return Mode::Edit;
  if (!c.loudnessInput.empty()) return Mode::Loudness;
  if (!c.probeAudioPath.empty()) return Mode::ProbeAudio;
  if (!c.probeVideoPath.empty()) return Mode::ProbeVideo;
  if (c.probePreviewPath.empty()) return Mode::WindowApp;
  return Mode::ProbePreview;
}

bool WantsMultithreadedCom(const CommandLine& c) {
  if (c.editGiven) return true;
  return c.selfTest || !c.exportVideoPath.empty() || !c.denoiseInput.empty() || !c.loudnessInput.empty() ||
         !c.probeAudioPath.empty() || !c.probeVideoPath.empty() || !c.probePreviewPath.empty();
}

}  // namespace vesk
