#pragma once
// The headless command-line modes. Each writes its report into the data
// folder and returns the process exit code (0 success, 1 failure).
#include <filesystem>

#include "app/command_line.h"

namespace vesk {

int RunSelfTestMode(const CommandLine& cmd, const std::filesystem::path& dataFolder);
int RunExportVideoMode(const CommandLine& cmd, const std::filesystem::path& dataFolder);
int RunDenoiseMode(const CommandLine& cmd, const std::filesystem::path& dataFolder);
// --loudness: measures the input (BS.1770 integrated loudness, range, true
// peak) and, given an output, writes it normalised to the target under the
// true-peak ceiling as WAV.
int RunLoudnessMode(const CommandLine& cmd, const std::filesystem::path& dataFolder);
int RunProbeAudioMode(const CommandLine& cmd, const std::filesystem::path& dataFolder);
int RunProbeVideoMode(const CommandLine& cmd, const std::filesystem::path& dataFolder);
int RunProbePreviewMode(const CommandLine& cmd, const std::filesystem::path& dataFolder);
int RunEditMode(const CommandLine& cmd, const std::filesystem::path& dataFolder);

// Peak, frame count and duration of interleaved samples as the probe
// reports give them (0 where the channel count or rate is 0).
struct SampleStats {
  double peak = 0;
  unsigned long long frames = 0;
  double duration = 0;
};
SampleStats MeasureSamples(const std::vector<float>& samples, unsigned channels, unsigned rate);

}  // namespace vesk
