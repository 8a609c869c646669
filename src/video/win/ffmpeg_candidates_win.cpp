#include <windows.h>

#include "platform/folders.h"
#include "platform/win/wide.h"
#include "video/ffmpeg_candidates.h"

namespace vesk {

const char* FfmpegProgramFileName() { return "ffmpeg.exe"; }

std::vector<FfmpegCandidate> PlatformFfmpegCandidates() {
  std::vector<FfmpegCandidate> list;
  const std::filesystem::path programDir = ProgramDir();
  if (!programDir.empty()) list.push_back({programDir / L"ffmpeg.exe", "程序所在目录"});

  const DWORD need = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (need > 1) {
    std::wstring value(need, L'\0');
    const DWORD got = GetEnvironmentVariableW(L"PATH", value.data(), need);
    value.resize(got < need ? got : 0);
    for (std::string dir : SplitSearchPath(WideToUtf8(value), ';')) {
      if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
      list.push_back({std::filesystem::path(Utf8ToWide(dir + "ffmpeg.exe")), "系统 PATH"});
    }
  }
  static const wchar_t* const kCommon[] = {
      L"%LOCALAPPDATA%\\Microsoft\\WinGet\\Links\\ffmpeg.exe", L"C:\\ffmpeg\\bin\\ffmpeg.exe",
      L"%ProgramFiles%\\ffmpeg\\bin\\ffmpeg.exe", L"%ProgramData%\\chocolatey\\bin\\ffmpeg.exe",
      L"%LOCALAPPDATA%\\Programs\\ffmpeg\\bin\\ffmpeg.exe"};
  for (const wchar_t* common : kCommon) {
    wchar_t expanded[520];
    const DWORD n = ExpandEnvironmentStringsW(common, expanded, 520);
    if (n == 0 || n > 520) continue;  // failed or did not fit
    list.push_back({std::filesystem::path(expanded), "常见安装位置"});
  }
  return list;
}

}  // namespace vesk
