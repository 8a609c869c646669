#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "platform/folders.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

// "D:P(A;OICI;FA;;;<the user's SID>)": full access for this user alone,
// inherited by everything created inside, nothing from the parent.
std::wstring OwnerOnlyDescriptor() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  std::wstring sddl;
  if (size != 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    wchar_t* sid = nullptr;
    if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      sddl = std::wstring(L"D:P(A;OICI;FA;;;") + sid + L")";
      LocalFree(sid);
    }
  }
  CloseHandle(token);
  return sddl;
}

}  // namespace

fs::path PrivateTempDir() {
  const fs::path base = TempDir();
  if (base.empty()) return {};
  const fs::path dir = base / L"VeskRecorder";
  const std::wstring sddl = OwnerOnlyDescriptor();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (sddl.empty() ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return {};
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const bool created = CreateDirectoryW(dir.c_str(), &attributes) != 0;
  const DWORD error = created ? 0 : GetLastError();
  LocalFree(descriptor);
  if (!created && error != ERROR_ALREADY_EXISTS) return {};
  // An existing name must be a real folder, not a junction to somewhere else.
  const DWORD a = GetFileAttributesW(dir.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY) || (a & FILE_ATTRIBUTE_REPARSE_POINT)) return {};
  return dir;
}

}  // namespace vesk
