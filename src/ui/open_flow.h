#pragma once
// Opening a file into the edit area: the open dialog, the track dialog of a
// file with several audio tracks (with audition), decoding and the picture
// probe under the progress window, the opened-media record and the texts of
// the result.
//
// Threads: the user-interface thread.
#include <filesystem>

#include "ui/playback_control.h"

namespace vesk::ui {

class OpenFlow {
 public:
  OpenFlow(const EditContext& context, OpenedMedia& opened) : ctx_(context), opened_(opened) {}

  // The open dialog; false when refused (recording) or cancelled.
  bool Ask(std::filesystem::path& chosen);
  // Decodes `path` into the document and records what it was. False when
  // nothing was opened (cancelled or failed; the status line and a box say
  // why). `viaDialog`: the track dialog chose what was opened.
  bool Open(const std::filesystem::path& path, bool& viaDialog);
  // Replaces the opened-media record and tells the controller.
  void SetOpened(OpenedMedia media);

 private:
  EditContext ctx_;
  OpenedMedia& opened_;
};

}  // namespace vesk::ui
