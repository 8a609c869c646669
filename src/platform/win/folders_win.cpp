#include <windows.h>
#include <shlobj.h>

#include <string>
#include <system_error>

#include "platform/folders.h"
#include "platform/win/wide.h"

namespace vesk {
namespace fs = std::filesystem;

fs::path ProgramDir() {
  wchar_t buf[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return fs::path(std::wstring(buf, n)).parent_path();
}

static fs::path EnvPath(const wchar_t* name) {
  wchar_t buf[32768];
  const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
  if (n == 0 || n >= 32768) return {};
  return fs::path(std::wstring(buf, n));
}

static fs::path KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR raw = nullptr;
  fs::path out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &raw)) && raw) out = fs::path(raw);
  CoTaskMemFree(raw);
  return out;
}

fs::path RoamingAppDataDir() { return EnvPath(L"APPDATA"); }

fs::path LocalAppDataDir() {
  fs::path p = EnvPath(L"LOCALAPPDATA");
  return p.empty() ? KnownFolder(FOLDERID_LocalAppData) : p;
}

fs::path DocumentsDir() { return KnownFolder(FOLDERID_Documents); }
fs::path DesktopDir() { return KnownFolder(FOLDERID_Desktop); }

fs::path TempDir() {
  wchar_t buf[MAX_PATH + 2] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH + 1) return {};
  return fs::path(std::wstring(buf, n));
}

bool CanCreateFileIn(const fs::path& dir, const char* probeName) {
  if (dir.empty()) return false;
  const fs::path probe = dir / Utf8ToWide(probeName);
  HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

}  // namespace vesk
