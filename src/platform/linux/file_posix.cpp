#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"

namespace vesk {

bool File::OpenRead(const std::filesystem::path& path) {
  Close();
  // Without O_NONBLOCK the open of a FIFO waits for a writer, possibly forever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = fd;
  return true;
}

// Opening a FIFO for writing waits for a reader, possibly forever: opened
// without blocking, only a regular file is kept.
static int OpenRegularForWriting(const std::filesystem::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  const int status = ::fcntl(fd, F_GETFL);
  if (status != -1) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  return fd;
}

bool File::OpenWrite(const std::filesystem::path& path) {
  Close();
  // Truncated only once it is known to be a regular file.
  const int fd = OpenRegularForWriting(path, 0);
  if (fd < 0 || ::ftruncate(fd, 0) != 0) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

bool File::OpenAppend(const std::filesystem::path& path) {
  Close();
  const int fd = OpenRegularForWriting(path, O_APPEND);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

bool File::CreateNew(const std::filesystem::path& path) {
  Close();
  // Private to the user: these are often temporary copies of recordings.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

void File::Close() {
  if (handle_ != kInvalid) ::close(int(handle_));
  handle_ = kInvalid;
}

int64_t File::Size() const {
  struct stat st {};
  if (handle_ == kInvalid || ::fstat(int(handle_), &st) != 0) return -1;
  return st.st_size;
}

bool File::Seek(int64_t offset) {
  return handle_ != kInvalid && ::lseek(int(handle_), offset, SEEK_SET) == offset;
}

namespace {
// Calls `read(done)` until `bytes` are in or the file ends, going on after an
// interrupted call. Bytes read; -1 when the first call failed.
template <typename ReadCall>
int64_t ReadFully(size_t bytes, ReadCall read) {
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = read(done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? int64_t(done) : -1;
    }
    if (n == 0) break;
    done += size_t(n);
  }
  return int64_t(done);
}
}  // namespace

int64_t File::ReadAt(int64_t offset, void* buffer, size_t bytes) const {
  if (handle_ == kInvalid || offset < 0) return -1;
  return ReadFully(bytes, [&](size_t done) {
    return ::pread(int(handle_), static_cast<char*>(buffer) + done, bytes - done, off_t(offset + done));
  });
}

bool File::Stamp(int64_t& size, int64_t& writeTime) const {
  struct stat st {};
  if (handle_ == kInvalid || ::fstat(int(handle_), &st) != 0) return false;
  size = int64_t(st.st_size);
  writeTime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

int64_t File::Read(void* buffer, size_t bytes) {
  if (handle_ == kInvalid) return -1;
  return ReadFully(bytes, [&](size_t done) { return ::read(int(handle_), static_cast<char*>(buffer) + done, bytes - done); });
}

bool File::Write(const void* data, size_t bytes) {
  if (handle_ == kInvalid) return false;
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::write(int(handle_), static_cast<const char*>(data) + done, bytes - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

}  // namespace vesk
