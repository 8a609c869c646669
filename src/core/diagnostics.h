#pragma once
// The diagnostics package: a folder on the desktop with the newest session
// logs and an environment snapshot ("环境快照.txt") a user can send in.
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/settings.h"

namespace vesk {

enum class DenoisePluginStatus { NotFound, FoundUnusable, Usable };

// Everything the snapshot shows about the running application. Fields of
// later subsystems are filled by their owners; the log fields come from the
// log module itself.
struct DiagnosticsState {
  std::string productTitle;
  std::string version;
  unsigned dpi = 96;
  std::filesystem::path programDir;
  std::filesystem::path settingsPath;
  std::filesystem::path outputDir;

  RecordSource recSource = RecordSource::Microphone;
  std::string inDeviceName, inDeviceId;
  std::string outDeviceName, outDeviceId;
  unsigned recordRate = 48000, recordBits = 16, recordChannels = 2;

  bool docEmpty = true;
  uint64_t docFrames = 0;
  unsigned docRate = 0, docSourceBits = 0, docChannels = 0;
  bool docHasCuts = false;

  bool denoiseOn = false;
  int denoiseLevel = 1, selDenoiseLevel = 1;
  std::string engineName;  // empty = none detected
  DenoisePluginStatus pluginStatus = DenoisePluginStatus::NotFound;
  std::string pluginPath;

  bool recording = false;
  uint64_t droppedFrames = 0;
};

// The snapshot text, UTF-8 with CR LF line ends (no byte-order mark).
std::string BuildEnvironmentSnapshot(const DiagnosticsState& state);

inline constexpr const char kSnapshotFileName[] = "环境快照.txt";

// Writes the package into the desktop folder (the log folder when there is
// no desktop). Returns the package folder, or empty on failure with the
// reason in `note`; on success `note` may hold a remark for the user.
std::filesystem::path ExportDiagnostics(const std::string& version, const std::string& snapshot,
                                        std::string& note);
// The same with an explicit base folder; an empty or missing `desktop`
// means "no desktop".
std::filesystem::path ExportDiagnosticsTo(const std::filesystem::path& desktop, const std::string& version,
                                          const std::string& snapshot, std::string& note);

// "VESK诊断日志-v<version>-YYYYMMDD-HHMM" for the given local time.
std::string DiagnosticsFolderName(const std::string& version, unsigned year, unsigned month, unsigned day,
                                  unsigned hour, unsigned minute);

}  // namespace vesk
