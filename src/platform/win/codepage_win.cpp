#include <windows.h>

#include <climits>

#include "platform/codepage.h"
#include "platform/win/wide.h"

namespace vesk {

bool AnsiCodePageToUtf8(std::string_view bytes, std::string& out) {
  out.clear();
  if (bytes.empty()) return true;
  if (bytes.size() > size_t(INT_MAX)) return false;
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(size_t(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), wide.data(), n);
  out = WideToUtf8(wide);
  return true;
}

}  // namespace vesk
