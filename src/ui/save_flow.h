#pragma once
// Saving the edit: WAV/MP3 through the document's save and the edited audio
// back into the source video, each with its export-time denoise step, and
// the staging folders a killed run left where saves go.
//
// Threads: the user-interface thread.
#include <filesystem>
#include <string>

#include "ui/playback_control.h"

namespace vesk::ui {

class SaveFlow {
 public:
  SaveFlow(const EditContext& context, const OpenedMedia& opened) : ctx_(context), opened_(opened) {}

  void SaveAudio(bool mp3);
  void SaveVideo();
  // Removes the save staging folders an earlier run left in the last save
  // folder, the open folder and the recording folder. Once, at start.
  void RemoveStaleFolders();

 private:
  // A save or export that failed: the log line, the status line and a box
  // with the reason. `what` names it ("导出失败", "视频导出失败").
  void ReportFailure(const char* what, const std::filesystem::path& target, const std::string& error);

  EditContext ctx_;
  const OpenedMedia& opened_;
  // Staging folders older than this belong to an earlier run.
  std::filesystem::file_time_type runStart_ = std::filesystem::file_time_type::clock::now();
};

}  // namespace vesk::ui
