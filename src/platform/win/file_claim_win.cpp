#include <windows.h>

#include "platform/file.h"

namespace vesk {

bool File::OpenWriteClaimed(const std::filesystem::path& path) {
  // Sharing read access only: a second writer (or an exclusive open by the
  // recovery pass) fails with a sharing violation while this handle lives,
  // and CREATE_ALWAYS fails the same way instead of truncating a file that
  // someone else is writing.
  Close();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool File::OpenExclusive(const std::filesystem::path& path) {
  Close();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool File::Flush() {
  return handle_ != kInvalid && FlushFileBuffers(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace vesk
