#pragma once
// Finding the external ffmpeg program and running it once: output captured
// into "ffmpeg-last.log", progress read from "ffmpeg-progress.log" every
// 150 ms, cancel through the progress callback, optional time limit.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vesk {

struct FfmpegLocation {
  bool found = false;
  std::filesystem::path path;
  std::string source;  // label of the place it was found
};

struct FfmpegCandidate {
  std::filesystem::path path;
  std::string source;
};

// Every place searched, in order (configured path, program folder, PATH,
// common install places of this platform).
std::vector<FfmpegCandidate> FfmpegCandidates(const std::filesystem::path& configured);
// The first candidate that is an executable file (IsExecutableFile).
FfmpegLocation LocateFfmpeg(const std::filesystem::path& configured);
// The program's file name on this platform: "ffmpeg.exe" on Windows,
// "ffmpeg" elsewhere.
const char* FfmpegProgramFileName();

// Splits a search-path variable: pieces trimmed of blanks, a quoted piece
// unquoted and trimmed again, empty pieces skipped. Pure.
std::vector<std::string> SplitSearchPath(const std::string& value, char separator);

// (out time in microseconds, speed); false asks to cancel.
using FfmpegProgress = std::function<bool(int64_t outTimeUs, double speed)>;

// Runs ffmpeg with `args`. True exactly when it ended by itself within the
// limit (0 = none) with exit code 0. `output` is replaced by the last 8192
// bytes ffmpeg printed (plus the time-out line when it was killed), or by
// the system's reason when the program could not be started at all.
bool RunFfmpeg(const std::filesystem::path& ffmpeg, std::vector<std::string> args, std::string& output,
               int64_t timeLimitMs, const FfmpegProgress& progress, bool* cancelled = nullptr);

// Reads the last "out_time_us=" and "speed=" values of a progress file.
// True when at least one was stored. A value that is not a number leaves the
// out time unchanged and sets the speed to 0.
bool ParseFfmpegProgress(const std::filesystem::path& file, int64_t* outTimeUs, double* speed);

// Folder of the two run files; the data folder unless set (one process that
// runs several exports side by side keeps them apart this way).
std::filesystem::path FfmpegRunFolder();
void SetFfmpegRunFolder(const std::filesystem::path& folder);

// The Windows command line RunFfmpeg hands to the system: quoted program
// followed by each quoted argument. Pure.
std::string BuildWindowsCommandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace vesk
