#include <windows.h>

#include <algorithm>

#include "platform/file.h"

namespace vesk {

static HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

bool File::OpenRead(const std::filesystem::path& path) {
  Close();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // Pipes, consoles and devices (NUL, COM1, \\.\pipe\...) can block a read
  // forever or never end; folders are no files either.
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(h);
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool File::OpenWrite(const std::filesystem::path& path) {
  Close();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool File::OpenAppend(const std::filesystem::path& path) {
  Close();
  HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool File::CreateNew(const std::filesystem::path& path) {
  Close();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

void File::Close() {
  if (handle_ != kInvalid) CloseHandle(H(handle_));
  handle_ = kInvalid;
}

int64_t File::Size() const {
  LARGE_INTEGER size;
  if (handle_ == kInvalid || !GetFileSizeEx(H(handle_), &size)) return -1;
  return size.QuadPart;
}

bool File::Seek(int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return handle_ != kInvalid && SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN);
}

int64_t File::ReadAt(int64_t offset, void* buffer, size_t bytes) const {
  if (handle_ == kInvalid || offset < 0) return -1;
  size_t done = 0;
  while (done < bytes) {
    const DWORD chunk = DWORD(std::min<size_t>(bytes - done, 1u << 30));
    OVERLAPPED at{};
    const uint64_t position = uint64_t(offset) + done;
    at.Offset = DWORD(position & 0xFFFFFFFFu);
    at.OffsetHigh = DWORD(position >> 32);
    DWORD got = 0;
    if (!ReadFile(H(handle_), static_cast<char*>(buffer) + done, chunk, &got, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return done > 0 ? int64_t(done) : -1;
    }
    if (got == 0) break;
    done += got;
  }
  return int64_t(done);
}

bool File::Stamp(int64_t& size, int64_t& writeTime) const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (handle_ == kInvalid || !GetFileInformationByHandle(H(handle_), &info)) return false;
  size = int64_t((uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  writeTime = int64_t((uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime);
  return true;
}

int64_t File::Read(void* buffer, size_t bytes) {
  if (handle_ == kInvalid) return -1;
  size_t done = 0;
  while (done < bytes) {
    const DWORD chunk = DWORD(std::min<size_t>(bytes - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(H(handle_), static_cast<char*>(buffer) + done, chunk, &got, nullptr))
      return done > 0 ? int64_t(done) : -1;
    if (got == 0) break;
    done += got;
  }
  return int64_t(done);
}

bool File::Write(const void* data, size_t bytes) {
  if (handle_ == kInvalid) return false;
  size_t done = 0;
  while (done < bytes) {
    const DWORD chunk = DWORD(std::min<size_t>(bytes - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(H(handle_), static_cast<const char*>(data) + done, chunk, &put, nullptr) || put == 0)
      return false;
    done += put;
  }
  return true;
}

}  // namespace vesk
