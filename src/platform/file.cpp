#include "platform/file.h"

namespace vesk {

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kInvalid;
  }
  return *this;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& out) {
  out.clear();
  File f;
  if (!f.OpenRead(path)) return false;
  char buf[65536];
  for (;;) {
    const int64_t n = f.Read(buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buf, size_t(n));
  }
}

}  // namespace vesk
