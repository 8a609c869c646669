#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/file_ops.h"
#include "platform/text.h"

namespace vesk {
namespace fs = std::filesystem;

bool IsAlreadyExistsError(unsigned long error) { return error == EEXIST; }

bool CreateDirectoryTree(const fs::path& dir, unsigned long& systemError) {
  systemError = 0;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    systemError = EEXIST;
    return false;
  }
  const fs::path parent = dir.parent_path();
  if (!parent.empty() && parent != dir && !CreateDirectoryTree(parent, systemError)) return false;
  if (::mkdir(dir.c_str(), 0755) == 0) return true;
  const int err = errno;
  if (err == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  systemError = static_cast<unsigned long>(err);
  return false;
}

static bool WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

bool CopyFileReplacing(const fs::path& from, const fs::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  ::unlink(to.c_str());  // a link left at the target is replaced, not written through
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!WriteAll(out, buffer, size_t(n))) {
      ok = false;
      break;
    }
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(to.c_str());
  return ok;
}

bool ReplaceFileContents(const fs::path& target, std::string_view bytes, unsigned long* systemError) {
  static std::atomic<unsigned> counter{0};
  auto fail = [&](int err) {
    if (systemError) *systemError = static_cast<unsigned long>(err);
    return false;
  };
  // Keep the permissions of the file being replaced.
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;

  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target;
    temp += Format(".tmp-%lu-%u", static_cast<unsigned long>(::getpid()), counter.fetch_add(1));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0 && errno != EEXIST) return fail(errno);
  }
  if (fd < 0) return fail(EEXIST);
  if (!WriteAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0) {
    const int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(err);
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return fail(err);
  }
  // Make the rename itself durable.
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace vesk
