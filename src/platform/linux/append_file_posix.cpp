#include <fcntl.h>
#include <unistd.h>

#include "platform/append_file.h"

namespace vesk {

bool AppendToFile(const std::filesystem::path& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
  close(fd);
  return ok;
}

}  // namespace vesk
