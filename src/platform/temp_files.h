#pragma once
// The program's temporary files, and the removal of those a killed run left
// behind.
//
// - Helper temporaries (the sample exchange with the 32-bit helper, ...) are
//   made in PrivateTempDir() under names from PrivateTempPath:
//   "vesk-<pid>-<n>-<tag>", and files the helper derives from them.
// - A temporary that has to sit next to a user's file (the audio of a video
//   export, the staging folder of a save) is claimed with a TemporaryClaim
//   for as long as it exists: a marker file in the private folder names it.
// - Every run that makes temporaries holds "run-<pid>.lock" in the private
//   folder until it ends (an exclusive claim the system drops when the
//   process dies, also when it is killed).
//
// RemoveStaleTemporaries, called once at start, removes what runs that no
// longer hold their lock left behind: only names this program makes, only
// files and folders last changed before the current run began, never
// through a link.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vesk {

// A fresh name "vesk-<pid>-<n>-<tag>" in the private folder (nothing is
// created); empty when there is no private folder. Thread-safe.
std::filesystem::path PrivateTempPath(const std::string& tag);

// True for the names this program gives temporaries next to a user's file:
// "<name>.vesk-audio.wav", "<name>.vesk-audio<N>.wav", ".vesk-save-<...>".
bool IsProgramTemporaryName(const std::string& fileName);

// Registers `temporary` (a file or folder with a program temporary name) for
// the life of the object. Make the claim before creating the temporary and
// end it after removing it, so a killed run always leaves the marker behind.
class TemporaryClaim {
 public:
  explicit TemporaryClaim(const std::filesystem::path& temporary);
  ~TemporaryClaim();
  TemporaryClaim(const TemporaryClaim&) = delete;
  TemporaryClaim& operator=(const TemporaryClaim&) = delete;
  // False when no marker could be written (no private folder).
  bool Held() const { return !marker_.empty(); }

 private:
  std::filesystem::path marker_;
};

// When this run began, in file time: what changed later may belong to a run
// that is still starting up (for clean-ups of other temporaries, such as the
// save staging folders).
std::filesystem::file_time_type ThisRunStart();

// Removes the stale temporaries described above and returns how many it
// removed; `removed` (cleared first) receives their paths, UTF-8. Safe to
// call from several places (the window's start, a save, the controller) and
// while other instances run.
int32_t RemoveStaleTemporaries(std::vector<std::string>* removed = nullptr);

}  // namespace vesk
