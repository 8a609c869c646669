#include <windows.h>

#include "denoise/helper_client.h"

namespace vesk {

namespace {

bool LoadResourceBytes(int id, std::string& bytes) {
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!res) return false;
  HGLOBAL loaded = LoadResource(nullptr, res);
  const DWORD size = SizeofResource(nullptr, res);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return false;
  bytes.assign(static_cast<const char*>(data), size);
  return true;
}

}  // namespace

// Resource 301 (RCDATA) of the main program is an exact copy of the 32-bit
// helper, 302 of the 64-bit one (64-bit builds only).
bool LoadEmbeddedHelper(std::string& bytes) { return LoadResourceBytes(301, bytes); }

bool LoadEmbeddedOwnArchHelper(std::string& bytes) {
  return LoadResourceBytes(sizeof(void*) == 8 ? 302 : 301, bytes);
}

}  // namespace vesk
