#include <windows.h>

#include <vector>

#include "denoise/helper_client.h"
#include "platform/win/wide.h"

namespace vesk {

const char* HelperFileName() { return "VeskDenoise32.exe"; }

const char* OwnArchHelperFileName() { return sizeof(void*) == 8 ? "VeskDenoise64.exe" : "VeskDenoise32.exe"; }

std::string DescribeHelperExit(int exitCode) {
  const unsigned code = unsigned(exitCode);
  char text[32];
  if (code >= 0xC0000000u) {
    wsprintfA(text, "异常 0x%08X", code);
    return text;
  }
  return "退出码 " + std::to_string(exitCode);
}

// ProductVersion of the first language/code-page pair of the version resource.
std::string ReadProductVersion(const std::filesystem::path& program) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(program.c_str(), 0, size, data.data())) return {};
  struct Translation {
    WORD language, codePage;
  };
  Translation* tr = nullptr;
  UINT trLen = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &trLen) || !tr ||
      trLen < sizeof(Translation))
    return {};
  wchar_t key[64];
  wsprintfW(key, L"\\StringFileInfo\\%04x%04x\\ProductVersion", tr->language, tr->codePage);
  wchar_t* value = nullptr;
  UINT len = 0;
  if (!VerQueryValueW(data.data(), key, reinterpret_cast<void**>(&value), &len) || !value || len == 0) return {};
  return WideToUtf8(std::wstring(value, wcsnlen(value, len)));
}

std::string OwnProductVersion() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return ReadProductVersion(std::filesystem::path(path));
}

bool MakeRunnable(const std::filesystem::path&) { return true; }

}  // namespace vesk
