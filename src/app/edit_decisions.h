#pragma once
// The --delete option of the headless export, applied through the audio
// document as an edit in the window would be: ranges deleted from the last
// to the first, then the edited audio laid back onto the source timeline
// (deleted parts silent, length unchanged).
#include <string>
#include <vector>

#include "media/audio_format.h"
#include "video/delete_ranges.h"

namespace vesk {

// On success `samples` holds the source-length result and `format` the
// document's format. On failure `error` holds the message and `samples` is
// left as given (the export then runs on the decoded audio).
bool ApplyDeleteRanges(std::vector<float>& samples, AudioFormat& format, const std::vector<FrameRange>& ranges,
                       std::string& error);

}  // namespace vesk
