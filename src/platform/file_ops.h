#pragma once
// Whole-file operations with the system's own error numbers (errno on
// Linux, GetLastError on Windows), for callers that report them.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// Creates `dir` and its missing parents. True when it exists as a folder
// afterwards or was created; otherwise `systemError` gets the error number
// of the step that failed (an existing file of that name gives the
// system's already-exists error: 183 on Windows, EEXIST on Linux).
bool CreateDirectoryTree(const std::filesystem::path& dir, unsigned long& systemError);

// True when `error` is the system's "already exists" error (183 or 80 on
// Windows, EEXIST on Linux).
bool IsAlreadyExistsError(unsigned long error);

// Copies a file, replacing an existing target (a link at the target is
// replaced, never followed). False on any failure; a partial target is removed.
bool CopyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// Replaces `target` with `bytes` so that a reader (or the next start after a
// crash, a full disk or a power cut) sees either the old file or the
// complete new one: the bytes go to a fresh temporary file in the same
// folder (created exclusively), are flushed to the disk and then renamed
// over the target. On failure the temporary file is removed and the old
// target is untouched.
bool ReplaceFileContents(const std::filesystem::path& target, std::string_view bytes,
                         unsigned long* systemError = nullptr);

// Names (UTF-8) of the regular files directly in `folder`; links and
// sub-folders are left out. Empty when the folder cannot be read.
std::vector<std::string> ListRegularFileNames(const std::filesystem::path& folder);

}  // namespace vesk
