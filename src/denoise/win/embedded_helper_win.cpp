#include <windows.h>

#include "denoise/helper_client.h"

namespace vesk {

// Resource 301 (RCDATA) of the main program is an exact copy of the helper.
bool LoadEmbeddedHelper(std::string& bytes) {
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(301), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!res) return false;
  HGLOBAL loaded = LoadResource(nullptr, res);
  const DWORD size = SizeofResource(nullptr, res);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return false;
  bytes.assign(static_cast<const char*>(data), size);
  return true;
}

}  // namespace vesk
