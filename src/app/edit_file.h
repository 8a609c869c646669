#pragma once
// The headless edit: a file loaded into the audio document, edit steps applied
// through the document's selection and edit commands (so the cut-point ramps
// are the window's), and the result saved as the window's save would.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "doc/audio_doc.h"

namespace vesk {

// "a-b" in seconds (digits with an optional decimal part, a < b) as frames
// [first, last) at `rate`, rounded to the nearest frame. False for anything
// else, a negative time or a range that rounds to no frame.
bool ParseEditRange(const std::string& text, uint32_t rate, uint64_t& first, uint64_t& last);

// Applies the steps in order; each range is read against the clip as the
// steps before it left it. Stops at the first step that is malformed or
// reaches past the clip's end (false, `error` says which).
bool ApplyEditSteps(AudioDoc& doc, const std::vector<EditStep>& steps, std::string& error);

// Loads `input`, applies the steps and saves to `output`: WAV at the source's
// depth for ".wav", MP3 at the default bit rate for ".mp3" (case ignored).
// Nothing is written unless every check and step succeeded; `doc` holds the
// edited clip on success.
bool EditFile(const std::filesystem::path& input, const std::filesystem::path& output,
              const std::vector<EditStep>& steps, AudioDoc& doc, std::string& error);

}  // namespace vesk
