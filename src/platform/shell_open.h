#pragma once
// Showing recordings in the desktop's file manager, and the timer
// resolution a recording needs.
#include <filesystem>

namespace vesk {

// Opens the folder of `file` with the file selected (Windows Explorer); on
// Linux the folder itself is opened through xdg-open, since there is no
// common way to select a file. False when nothing could be started.
bool RevealFileInFolder(const std::filesystem::path& file);
// Opens a folder in the file manager.
bool OpenFolderInShell(const std::filesystem::path& folder);

// Raises the system timer resolution to 1 ms while a recording runs (Windows
// only; Linux timers are fine-grained already). Calls must pair.
void RaiseTimerResolution();
void RestoreTimerResolution();

}  // namespace vesk
