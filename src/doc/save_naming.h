#pragma once
// Texts and names of the save-as command, kept apart from the dialogs so they
// can be tested without a window.
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/system_info.h"
#include "platform/text.h"  // FormatFileSize

namespace vesk {

// The display name without its extension (or, when that is empty, the time as
// "[VESK]YYYYMMDD HH-MM-SS"), ending in "_剪辑" exactly once.
std::string ProposedSaveStem(const std::string& displayName, const LocalTime& now);

// The last save folder if set, else the source file's folder, else the
// recording output folder.
std::filesystem::path ProposedSaveFolder(const std::filesystem::path& lastSaveDir,
                                         const std::filesystem::path& sourcePath,
                                         const std::filesystem::path& outputDir);

// folder/stem.ext, or the first of folder/stem2.ext … stem999.ext that does
// not exist yet (the plain name when all do).
std::filesystem::path ProposedSavePath(const std::filesystem::path& folder, const std::string& stem, bool mp3);
// The same with any extension (".mp4").
std::filesystem::path ProposedSavePathAs(const std::filesystem::path& folder, const std::string& stem,
                                         const std::string& extension);

}  // namespace vesk

namespace vesk {

// Bit depth of a WAV export: the menu's choice when set (non-zero), else the
// source depth, or 24 when the source depth is unknown (0). The writer turns
// anything but 24 and 32 into 16.
int WavExportBits(int menuBits, uint16_t sourceBits);

// The rate a save writes: the requested rate when not 0, else the
// document's; for MP3 anything but 8000, 11025, 12000, 16000, 22050, 24000,
// 32000, 44100 or 48000 becomes 48000.
uint32_t SaveTargetRate(uint32_t documentRate, uint32_t requestedRate, bool mp3);

// "00:01:02.3": hours, minutes, seconds and tenths (truncated).
std::string FormatClipDuration(double seconds);

}  // namespace vesk
