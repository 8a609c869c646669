#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/file_ops.h"
#include "platform/text.h"
#include "platform/win/wide.h"

namespace vesk {
namespace fs = std::filesystem;

bool IsAlreadyExistsError(unsigned long error) {
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

static bool IsFolder(const fs::path& p) {
  const DWORD attributes = GetFileAttributesW(p.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectoryTree(const fs::path& dir, unsigned long& systemError) {
  systemError = 0;
  if (IsFolder(dir)) return true;
  if (GetFileAttributesW(dir.c_str()) != INVALID_FILE_ATTRIBUTES) {
    systemError = ERROR_ALREADY_EXISTS;
    return false;
  }
  const fs::path parent = dir.parent_path();
  if (!parent.empty() && parent != dir && parent != dir.root_path() &&
      !CreateDirectoryTree(parent, systemError))
    return false;
  if (CreateDirectoryW(dir.c_str(), nullptr)) return true;
  const DWORD err = GetLastError();
  if (IsAlreadyExistsError(err) && IsFolder(dir)) return true;
  systemError = err;
  return false;
}

bool CopyFileReplacing(const fs::path& from, const fs::path& to) {
  if (CopyFileW(from.c_str(), to.c_str(), FALSE)) return true;
  return false;
}

bool ReplaceFileContents(const fs::path& target, std::string_view bytes, unsigned long* systemError) {
  static std::atomic<unsigned> counter{0};
  auto fail = [&](DWORD err) {
    if (systemError) *systemError = err;
    return false;
  };
  fs::path temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = target;
    temp += Utf8ToWide(Format(".tmp-%lu-%u", GetCurrentProcessId(), counter.fetch_add(1)));
    h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return fail(GetLastError());
  }
  if (h == INVALID_HANDLE_VALUE) return fail(ERROR_FILE_EXISTS);
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD put = 0;
    ok = WriteFile(h, bytes.data() + done, chunk, &put, nullptr) && put > 0;
    done += put;
  }
  if (ok) ok = FlushFileBuffers(h);
  DWORD err = ok ? 0 : GetLastError();
  CloseHandle(h);
  if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    err = GetLastError();
  }
  if (!ok) {
    DeleteFileW(temp.c_str());
    return fail(err);
  }
  return true;
}

}  // namespace vesk
