#pragma once
#include <string>
#include <vector>

#include "video/video_export_options.h"

namespace vesk {

// One step of the headless edit: an edit command over a range given as
// "a-b" in seconds of the clip as the steps before it left it.
enum class EditOp { Delete, Silence, Trim };
struct EditStep {
  EditOp op = EditOp::Delete;
  std::string range;
  bool operator==(const EditStep&) const = default;
};

// What the command line asks for. Paths are UTF-8.
struct CommandLine {
  bool selfTest = false;
  int selfTestSeconds = 3;
  int deviceIndex = -1;
  std::string dumpLayoutPath;
  std::string exportVideoPath;
  std::string exportAudioPath;
  std::string exportOutputPath;
  VideoEditedExportOptions exportOptions;
  std::string engine = "ffmpeg";
  std::string ffmpegPath;
  std::string deleteRanges;
  bool deleteGiven = false;
  std::string denoiseInput;
  std::string denoiseOutput;
  std::string loudnessInput;
  std::string loudnessOutput;
  // Target (LUFS) and true-peak ceiling (dBTP) as written, read only after an
  // output; empty for the defaults. The mode checks them.
  std::string loudnessTarget;
  std::string loudnessCeiling;
  // An output name given to --export-video-edited, --denoise or --loudness
  // that starts with a single "-": refused by those modes.
  std::string dashedOutputName;
  std::string probeAudioPath;
  std::string probeVideoPath;
  std::string probePreviewPath;
  int probePreviewTrack = 0;
  // --edit <input> <output> with its steps (--delete, --silence, --trim) in
  // the order given; a dashed output name goes to dashedOutputName.
  bool editGiven = false;
  std::string editInput;
  std::string editOutput;
  std::vector<EditStep> editSteps;
  // The first argument that is neither an option nor an option's value: a
  // file the window application opens into the edit area after it started
  // ("Open with" and drops on the program's icon pass files this way).
  std::string openPath;
  // The first argument that starts with '-', names no option and was not
  // read as a value: the entry refuses the command line.
  std::string unknownOption;
};

// Scans args (args[0] is the program and is skipped). Names are compared
// case-insensitively; values are read from the following arguments without
// removing them from the scan. A plain argument no option took as its value
// becomes openPath; an unknown option becomes unknownOption.
CommandLine ScanArguments(const std::vector<std::string>& args);

enum class Mode { SelfTest, ExportVideo, Denoise, Loudness, ProbeAudio, ProbeVideo, WindowApp, ProbePreview, Edit };

// The one mode a command line runs, by precedence.
Mode SelectMode(const CommandLine& cmd);

// COM for the entry thread is multithreaded for the headless modes that do
// their work on it.
bool WantsMultithreadedCom(const CommandLine& cmd);

}  // namespace vesk
