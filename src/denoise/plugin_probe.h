#pragma once
// Trying a plug-in module out before this process loads it. A module that is
// cut short, built for another system or faults while it loads or processes
// would end the whole program if it ran here first; the helper program of
// this program's own architecture loads it instead, creates the component
// and runs one short block. The verdict is kept per module path, size and
// modification time in a small file in the data folder, so an unchanged
// module is tried once, not at every start.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "denoise/denoise_engine.h"
#include "denoise/helper_client.h"

namespace vesk {

enum class ProbeOutcome { Passed, Failed, Crashed, Hung };

// What identifies one build of a module on disk.
struct ModuleStamp {
  uint64_t size = 0;
  int64_t modified = 0;  // the file system's modification time, in its own ticks
  bool operator==(const ModuleStamp&) const = default;
};
bool ReadModuleStamp(const std::filesystem::path& module, ModuleStamp& stamp);

struct ProbeRecord {
  std::filesystem::path module;
  ModuleStamp stamp;
  ProbeOutcome outcome = ProbeOutcome::Passed;
  std::string reason;       // why it was refused (empty when it passed)
  bool everFailed = false;  // any build at this path was ever refused
};

// The verdict file: one record a line, fields separated by tabs
// ("<outcome>\t<size>\t<modified>\t<ever failed>\t<reason>\t<path>"); lines
// that do not parse are dropped.
std::vector<ProbeRecord> ParseProbeRecords(const std::string& text);
std::string FormatProbeRecords(const std::vector<ProbeRecord>& records);
// The verdict file's default place: "plugin-probes.txt" in the data folder.
std::filesystem::path DefaultProbeBook();

inline constexpr int64_t kDefaultProbeTimeoutMs = 20000;

struct ProbeVerdict {
  ProbeOutcome outcome = ProbeOutcome::Passed;
  std::string reason;
  bool everFailed = false;
  bool probed = false;  // a helper process ran for this verdict (not taken from the file)
};

// Runs the helper once on a short block through the module.
ProbeVerdict ProbeModule(const std::filesystem::path& helper, const std::filesystem::path& module, int64_t timeoutMs);

// The verdict on engine.modulePath: from the verdict file when it holds the
// module's current size and modification time, else from a fresh probe
// (then written to the file). Without a helper to probe with the module is
// passed untried and nothing is written. Serialised across threads.
ProbeVerdict CheckPluginModule(const DenoiseEngine& engine, const HelperPlaces& places);

// Whether renders of the module run out of process: the user's choice
// (engine.isolateChoice 1/0), else on once any build at that path failed its
// probe.
bool PluginIsolationOn(int isolateChoice, bool everFailed);
// Whether the verdict file says a build at engine.modulePath ever failed.
bool PluginProbeEverFailed(const DenoiseEngine& engine);

}  // namespace vesk
