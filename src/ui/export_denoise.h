#pragma once
// The export-time denoise step of the save and video-export commands. The
// denoise code provides the hook; without one every export writes the edit
// as it is.
//
// Threads: the user-interface thread. The hook is called once per export,
// after the output file was chosen and while the export's progress window is
// up, so it may wait for a running background render (with ProgressStep) and
// ask its questions (ShowBox).
#include <filesystem>
#include <functional>
#include <string>

#include "doc/audio_doc.h"

namespace vesk::ui {

enum class ExportKind { Audio, Video };  // WAV/MP3 save, or the edited-video export

struct ExportDenoise {
  // The user declined to export; the hook has already put its text on the
  // status line. Nothing is written.
  bool cancel = false;
  // Processes the export's copy in place; empty exports the edit as it is.
  DenoiseCallback run;
  // Status (and video progress) text while `run` works: "正在跑降噪（…）…".
  std::string stage;
  // Appended to the result line of a successful export ("，已降噪（…）",
  // "，未降噪（…）", " — 音轨未降噪（…）").
  std::string resultNote;
  // The engine's message after `run` failed.
  std::function<std::string()> lastError;
};

using ExportDenoiseHook = std::function<ExportDenoise(ExportKind kind, const std::filesystem::path& output)>;

}  // namespace vesk::ui
