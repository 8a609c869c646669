#pragma once
// Repair of recordings left unsealed by a crash: their header lags the data
// on disk by up to a second, which other players would cut off.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vesk {

// Rewrites the RIFF and data sizes (bytes 4-7 and 40-43, nothing else) of
// every *.wav in `folder` that has this program's 44-byte layout, a
// plausible format and sizes that disagree with the file size. Files that
// are held open by someone (a recording in progress), links, directories,
// short, foreign or implausible files, and files too large for the 32-bit
// size fields are skipped. Returns the number of
// repaired files; `repaired` (cleared first) receives their names, UTF-8,
// without folder. A missing folder gives 0.
int32_t RepairUnsealedWavs(const std::filesystem::path& folder, std::vector<std::string>* repaired = nullptr);

}  // namespace vesk
