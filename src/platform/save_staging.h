#pragma once
// Writing a file so that a failed, cancelled or killed save never costs what
// was at the target before: the new file is written inside a private folder
// next to the target and renamed over the target only when it is complete.
//
// The folder is ".vesk-save-" followed by 16 lower-case hex digits. Creating it
// is exclusive, so no existing file or link of that name is followed, and it
// sits on the target's volume, so the final move is a rename. It is claimed
// (TemporaryClaim) before it is made, so what a killed run left is removed
// at a later start.
#include <filesystem>
#include <memory>
#include <string>

#include "platform/temp_files.h"

namespace vesk {

class SaveStaging {
 public:
  SaveStaging() = default;
  // Removes the folder and whatever is still inside it.
  ~SaveStaging();
  SaveStaging(const SaveStaging&) = delete;
  SaveStaging& operator=(const SaveStaging&) = delete;

  // Creates the folder beside `target`; File() is then folder / target's name.
  // False with "无法创建输出文件（…）" when the target's folder is missing or
  // not writable, and with kNotRegularOutputText when `target` is a FIFO,
  // device, socket or folder.
  bool Create(const std::filesystem::path& target, std::string& error);
  const std::filesystem::path& Folder() const { return dir_; }
  const std::filesystem::path& File() const { return file_; }
  // Renames `staged` (a file inside the folder; File() when empty) over
  // `target`. False with a message when the system refuses.
  bool MoveInto(const std::filesystem::path& target, std::string& error,
                const std::filesystem::path& staged = {});

 private:
  std::unique_ptr<TemporaryClaim> claim_;
  std::filesystem::path dir_;
  std::filesystem::path file_;
};

// True for the names SaveStaging gives its folders.
bool IsSaveStagingName(const std::string& name);

// Removes the staging folders a killed process left in `folder`: only
// folders named as SaveStaging names them (never links), and only when
// neither the folder nor anything directly inside it changed at or after
// `runStart`, so the save of another instance still writing is left alone.
// Returns how many were removed.
int RemoveStaleSaveStaging(const std::filesystem::path& folder, std::filesystem::file_time_type runStart);

}  // namespace vesk
