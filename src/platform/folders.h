#pragma once
// Known folders. Each returns an empty path when the system has none.
#include <filesystem>

namespace vesk {

// Folder of the running executable (no trailing separator).
std::filesystem::path ProgramDir();
// Roaming per-user settings root: %APPDATA% / $XDG_CONFIG_HOME (~/.config).
std::filesystem::path RoamingAppDataDir();
// Local per-user data root: %LOCALAPPDATA% / $XDG_DATA_HOME (~/.local/share).
std::filesystem::path LocalAppDataDir();
// The user's documents and desktop folders (xdg-user-dirs on Linux).
std::filesystem::path DocumentsDir();
std::filesystem::path DesktopDir();
// Folder for temporary files: GetTempPathW / $TMPDIR (/tmp).
std::filesystem::path TempDir();

// This user's private folder for temporary files, created with owner-only
// rights: "VeskRecorder-<uid>" in the temp folder (mode 0700; when another
// user holds that name, "tmp" in the per-user data folder) on Linux,
// "VeskRecorder" in the user's temp folder with an access list for the user
// alone on Windows. An existing folder is used only when it is a real folder
// (and on Linux owned by this user). Empty when none can be had.
std::filesystem::path PrivateTempDir();

// True when a scratch file can be created in `dir` (created and removed at
// once; an existing link of that name is never followed).
bool CanCreateFileIn(const std::filesystem::path& dir, const char* probeName);

// The program's data folder: the program folder when it is writable, else
// the roaming app-data root + "VeskRecorder". Computed once, thread-safe.
// The returned text always ends with a path separator.
const std::filesystem::path& DataFolder();

}  // namespace vesk
