#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"

namespace vesk {

namespace {

// flock without waiting; the lock belongs to this open file description and
// is released by the kernel when the descriptor closes, also on SIGKILL.
bool TryLockExclusive(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace

bool File::OpenWriteClaimed(const std::filesystem::path& path) {
  Close();
  // No O_TRUNC: the file is emptied only once the lock is ours, so a
  // recording held by another writer is never cut.
  // O_NONBLOCK: opening a FIFO for writing would wait for a reader.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !TryLockExclusive(fd) || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = fd;
  return true;
}

bool File::OpenExclusive(const std::filesystem::path& path) {
  Close();
  // O_NONBLOCK keeps a FIFO with a .wav name from hanging the open.
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !TryLockExclusive(fd)) {
    ::close(fd);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = fd;
  return true;
}

bool File::Flush() {
  if (handle_ == kInvalid) return false;
  for (;;) {
    if (::fdatasync(int(handle_)) == 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace vesk
