#include <windows.h>

#include "platform/process_info.h"
#include "platform/win/wide.h"

namespace vesk {

unsigned long LastSystemError() { return GetLastError(); }

std::string SystemErrorText(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, DWORD(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = n && text ? std::wstring(text, n) : std::wstring();
  if (text) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) wide.pop_back();
  return wide.empty() ? "错误码 " + std::to_string(error) : WideToUtf8(wide);
}

}  // namespace vesk
