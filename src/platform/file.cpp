#include "platform/file.h"

#include <new>
#include <system_error>

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
  try {
    for (;;) {
      const int64_t n = f.Read(buf, sizeof buf);
      if (n < 0) return false;
      if (n == 0) return true;
      out.append(buf, size_t(n));
    }
  } catch (const std::bad_alloc&) {
    out.clear();
    out.shrink_to_fit();
    return false;
  }
}

bool IsSpecialFile(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) return false;
  return !std::filesystem::is_regular_file(status) && !std::filesystem::is_directory(status);
}

}  // namespace vesk
